// The readable form of a rule file: one rule per line, fields separated by "|":
//
//   extension | start signature | start offset | end signature | size-field offset |
//   bytes in size | header size | size includes header (yes/no) | approximate size |
//   skip size | category
//
// Signatures are comma-separated hexadecimal bytes ("FF,D8,FF"); "-" leaves a
// field empty; "#" starts a comment line. The default rule file is built from
// such a table.
#pragma once

#include <string>
#include <vector>

#include "raw/RuleFile.h"

namespace tavrel::raw {

struct TableRow {
    int line = 0;
    RuleFields fields;
};

// Parses the table's text; a line with the wrong number of fields is reported in
// `error` ("line N: ...") and parsing stops.
std::vector<TableRow> parseRuleTable(const std::string& text, std::string& error);

// "FF,D8,FF" ("-" when empty).
std::string hexList(const std::vector<std::uint8_t>& bytes);

// One line of the table for a rule (the inverse of parsing, for listings).
std::string tableLine(const SignatureRule& rule);

}  // namespace tavrel::raw
