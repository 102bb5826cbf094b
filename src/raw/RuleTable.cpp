#include "raw/RuleTable.h"

#include <cstdio>
#include <sstream>

#include "util/Unicode.h"

namespace tavrel::raw {

namespace {

std::string field(const std::string& text) { return text == "-" ? std::string() : text; }

}  // namespace

std::string hexList(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) return "-";
    std::string out;
    for (const std::uint8_t b : bytes) {
        char cell[4];
        std::snprintf(cell, sizeof cell, "%02X", b);
        out += (out.empty() ? "" : ",") + std::string(cell);
    }
    return out;
}

std::vector<TableRow> parseRuleTable(const std::string& text, std::string& error) {
    constexpr std::size_t kColumns = 11;
    std::vector<TableRow> rows;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        const std::string t(trim(line));
        if (t.empty() || t[0] == '#') continue;
        std::vector<std::string> cells;
        std::size_t from = 0;
        while (true) {
            const std::size_t bar = t.find('|', from);
            cells.emplace_back(trim(t.substr(from, bar == std::string::npos ? std::string::npos : bar - from)));
            if (bar == std::string::npos) break;
            from = bar + 1;
        }
        if (cells.size() != kColumns) {
            error = "line " + std::to_string(number) + ": " + std::to_string(cells.size()) + " fields instead of " +
                    std::to_string(kColumns);
            return rows;
        }
        TableRow row;
        row.line = number;
        RuleFields& f = row.fields;
        f.extension = field(cells[0]);
        f.startSignature = field(cells[1]);
        f.startOffset = field(cells[2]);
        f.endSignature = field(cells[3]);
        f.sizeFieldOffset = field(cells[4]);
        f.sizeFieldBytes = field(cells[5]);
        f.headerSize = field(cells[6]);
        f.sizeIncludesHeader = cells[7] == "yes";
        f.approxSize = field(cells[8]);
        f.skipSize = field(cells[9]);
        f.category = field(cells[10]);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string tableLine(const SignatureRule& r) {
    auto number = [](std::int64_t v) { return std::to_string(v); };
    return r.extension + " | " + hexList(r.start) + " | " + number(r.startOffset) + " | " + hexList(r.end) + " | " +
           (r.sizeFieldOffset < 0 ? "-" : number(r.sizeFieldOffset)) + " | " + number(r.sizeFieldBytes) + " | " +
           number(r.headerSize) + " | " + (r.sizeIncludesHeader ? "yes" : "no") + " | " + number(r.approxSize) +
           " | " + number(r.skipSize) + " | " + (r.category.empty() ? "-" : r.category);
}

}  // namespace tavrel::raw
