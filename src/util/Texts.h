// Display texts shared by every parser and page: sizes and times.
#pragma once

#include <cstdint>
#include <string>

namespace tavrel {

// Calendar time as shown in the lists (already in the clock the caller chose).
struct CivilTime {
    int year = 0;
    int month = 0;   // 1..12
    int day = 0;     // 1..31
    int hour = 0;    // 0..23
    int minute = 0;  // 0..59
    int second = 0;  // 0..59
};

// "%.2f GB" / "%.2f MB" / "%.2f KB" of the size over 2^30, 2^20, 2^10 (the first
// divisor the size reaches), else "%lld Bytes".
std::string sizeText(std::int64_t bytes);

// "MM/DD/YYYY  hh:mm AM|PM" on the 12-hour clock: 00:10 is "12:10 AM",
// 12:30 is "12:30 PM", 13:05 is "01:05 PM".
std::string timeText(const CivilTime& t);

// timeText of a Unix time (seconds, UTC) in the local time zone, as the
// desktop's own file views show times; "" when out of range.
std::string localTimeText(std::int64_t unixSeconds);

// "MM/DD/YYYY " for dates that carry no time of day (FAT access dates).
std::string dateText(const CivilTime& t);

// Whole MiB followed by " MB" (integer division by 1048576).
std::string mibText(std::int64_t bytes);

// UTC calendar fields of a Unix time (seconds); false when out of range.
bool civilFromUnix(std::int64_t unixSeconds, CivilTime& out);

// Unix seconds of UTC calendar fields.
std::int64_t unixFromCivil(const CivilTime& t);

// Windows FILETIME (100 ns ticks since 1601-01-01 UTC) to Unix seconds / nanoseconds.
std::int64_t unixFromFiletime(std::uint64_t filetime, std::uint32_t* nanoseconds = nullptr);

}  // namespace tavrel
