// Rule files: loading their records as SignatureRules, and appending one record
// built from the Setting page's fields. Reads are bounded by the file's length
// (the record count is length / 173); a file that is short, not whole records, or
// longer than the format allows is refused; a record that cannot be used is
// skipped and counted.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "raw/SettingsRecord.h"
#include "raw/SignatureRule.h"

namespace tavrel::raw {

struct LoadResult {
    bool ok = false;
    std::string message;      // for the user; empty when there is nothing to say
    std::size_t loaded = 0;
    std::size_t skipped = 0;  // damaged records left out
};

// The default rule file: "FileSetting.txt" in the folder of the running executable,
// or else in ../share/tavrel/ from that folder (an installed package); the path
// beside the executable when neither exists.
std::string defaultRulePath();

// Appends the file's rules to `rules`, indexed after those already there.
// asDefault: the default file, whose last record's bytes-in-size is not checked
// (its bad records are skipped like any other); a user file with a last record
// saying more than 8 bytes in size is refused.
LoadResult loadRuleFile(const std::string& path, bool asDefault, std::vector<SignatureRule>& rules);

// The Setting page's fields, as typed.
struct RuleFields {
    std::string extension;
    std::string startSignature;  // "0xFF,0xD8,0xFF"
    std::string startOffset;
    std::string endSignature;
    std::string sizeFieldOffset;  // empty: none
    std::string sizeFieldBytes;
    std::string headerSize;
    std::string skipSize;
    std::string approxSize;
    std::string category;
    bool sizeIncludesHeader = false;
};

// "0x89,,0x50" -> {0x89, 0x50}: comma-separated hexadecimal bytes (low 8 bits).
std::vector<std::uint8_t> parseSignature(const std::string& text);
// Leading decimal number of text ("12abc" -> 12), 0 when there is none.
std::int64_t parseNumber(const std::string& text);

// Builds a record from the fields; empty text on success, else the message.
std::string recordFromFields(const RuleFields& fields, SettingsRecord& out);

// Appends record at the end of the file at path (created when missing), with
// its index set to the number of whole records already there. Empty text on
// success, else why not.
std::string appendRecord(const std::string& path, SettingsRecord record);

}  // namespace tavrel::raw
