// exFAT timestamps: bits 31..25 year - 1980, 24..21 month, 20..16 day, 15..11
// hour, 10..5 minute, 4..0 seconds / 2, in local time. The list texts show them as
// stored; real times subtract the entry's UTC offset when it is marked valid
// (bit 7; the low 7 bits are a signed count of 15 minutes), else take the local
// time as given.
#pragma once

#include <cstdint>
#include <optional>

#include "fs/Parser.h"
#include "util/Texts.h"

namespace tavrel::fs::fat {

CivilTime exFatCivil(std::uint32_t timestamp);
bool validExFatTimestamp(std::uint32_t timestamp);
std::optional<TimePoint> exFatTimePoint(std::uint32_t timestamp, std::uint8_t tenMs, std::uint8_t utcOffset);

}  // namespace tavrel::fs::fat
