// One carving rule, as the carving engine holds it: what starts and ends a file
// of one kind, or where its header states its size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "raw/SettingsRecord.h"

namespace tavrel::raw {

// A signature byte that matches any byte.
inline constexpr std::uint8_t kWildcard = 0x2A;

struct SignatureRule {
    std::string extension;              // UTF-8, without a dot
    std::vector<std::uint8_t> start;    // compared at startOffset within a sector
    std::vector<std::uint8_t> end;      // empty: no end signature
    int startOffset = 0;
    std::size_t index = 0;              // position in the engine's rule list
    std::int32_t sizeFieldOffset = -1;  // -1: the header states no size
    std::int32_t sizeFieldBytes = 0;
    std::int32_t headerSize = 0;
    bool sizeIncludesHeader = false;
    std::int64_t approxSize = 0;
    std::int64_t skipSize = 0;
    std::string category;

    // A size field the engine can read: 1, 2, 4 or 8 bytes at a known offset.
    bool hasSizeField() const {
        return sizeFieldOffset >= 0 && (sizeFieldBytes == 1 || sizeFieldBytes == 2 || sizeFieldBytes == 4 ||
                                        sizeFieldBytes == 8);
    }
};

// A start signature of wildcards only: it matches every sector of any volume.
bool matchesEverySector(const std::vector<std::uint8_t>& start);

// The rule a record describes; empty text when the record can be used, else why
// not (a signature that never matches, a start signature outside its sector...).
std::string recordProblem(const SettingsRecord& record);
SignatureRule ruleFromRecord(const SettingsRecord& record, std::size_t index);

}  // namespace tavrel::raw
