#include "fs/fat/ExFatTimes.h"

namespace tavrel::fs::fat {

CivilTime exFatCivil(std::uint32_t ts) {
    CivilTime t;
    t.year = 1980 + static_cast<int>(ts >> 25);
    t.month = static_cast<int>((ts >> 21) & 0x0F);
    t.day = static_cast<int>((ts >> 16) & 0x1F);
    t.hour = static_cast<int>((ts >> 11) & 0x1F);
    t.minute = static_cast<int>((ts >> 5) & 0x3F);
    t.second = static_cast<int>(ts & 0x1F) * 2;
    return t;
}

bool validExFatTimestamp(std::uint32_t ts) {
    const CivilTime t = exFatCivil(ts);
    return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 && t.hour < 24 && t.minute < 60 &&
           t.second < 60;
}

std::optional<TimePoint> exFatTimePoint(std::uint32_t ts, std::uint8_t tenMs, std::uint8_t utcOffset) {
    if (!validExFatTimestamp(ts)) return std::nullopt;
    TimePoint p;
    p.seconds = unixFromCivil(exFatCivil(ts));
    if (tenMs <= 199) {
        p.seconds += tenMs / 100;
        p.nanoseconds = static_cast<std::uint32_t>(tenMs % 100) * 10'000'000u;
    }
    if (utcOffset & 0x80) {
        int quarters = utcOffset & 0x7F;
        if (quarters & 0x40) quarters -= 0x80;
        p.seconds -= static_cast<std::int64_t>(quarters) * 15 * 60;
    }
    return p;
}

}  // namespace tavrel::fs::fat
