#include "util/Texts.h"

#include <cstdio>
#include <ctime>

namespace tavrel {

std::string sizeText(std::int64_t bytes) {
    char buf[64];
    const double size = static_cast<double>(bytes);
    if (bytes >= (std::int64_t{1} << 30)) {
        std::snprintf(buf, sizeof buf, "%.2f GB", size / 1073741824.0);
    } else if (bytes >= (std::int64_t{1} << 20)) {
        std::snprintf(buf, sizeof buf, "%.2f MB", size / 1048576.0);
    } else if (bytes >= (std::int64_t{1} << 10)) {
        std::snprintf(buf, sizeof buf, "%.2f KB", size / 1024.0);
    } else {
        std::snprintf(buf, sizeof buf, "%lld Bytes", static_cast<long long>(bytes));
    }
    return buf;
}

std::string timeText(const CivilTime& t) {
    char buf[64];
    const bool pm = t.hour >= 12;
    int hour12 = t.hour % 12;
    if (hour12 == 0) hour12 = 12;
    // Listings ask for one text per time of every entry: the common case is
    // written digit by digit, the rest through snprintf (same text).
    const auto twoDigits = [](int v) { return v >= 0 && v <= 99; };
    if (t.year >= 1000 && t.year <= 9999 && twoDigits(t.month) && twoDigits(t.day) && twoDigits(hour12) &&
        twoDigits(t.minute)) {
        char* p = buf;
        const auto put = [&p](int v, int width) {
            for (int k = width - 1; k >= 0; --k, v /= 10) p[k] = static_cast<char>('0' + v % 10);
            p += width;
        };
        put(t.month, 2);
        *p++ = '/';
        put(t.day, 2);
        *p++ = '/';
        put(t.year, 4);
        *p++ = ' ';
        *p++ = ' ';
        put(hour12, 2);
        *p++ = ':';
        put(t.minute, 2);
        *p++ = ' ';
        *p++ = pm ? 'P' : 'A';
        *p++ = 'M';
        return std::string(buf, p);
    }
    std::snprintf(buf, sizeof buf, pm ? "%02d/%02d/%d  %02d:%02d PM" : "%02d/%02d/%d  %02d:%02d AM",
                  t.month, t.day, t.year, hour12, t.minute);
    return buf;
}

std::string localTimeText(std::int64_t unixSeconds) {
    const auto t = static_cast<std::time_t>(unixSeconds);
    std::tm local{};
    if (!localtime_r(&t, &local)) return {};
    CivilTime c;
    c.year = local.tm_year + 1900;
    c.month = local.tm_mon + 1;
    c.day = local.tm_mday;
    c.hour = local.tm_hour;
    c.minute = local.tm_min;
    c.second = local.tm_sec;
    if (c.year < 1 || c.year > 9999) return {};
    return timeText(c);
}

std::string dateText(const CivilTime& t) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%d ", t.month, t.day, t.year);
    return buf;
}

std::string mibText(std::int64_t bytes) {
    return std::to_string(bytes / 1048576) + " MB";
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back (era-based
// civil-date arithmetic, exact for every year).
static std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool civilFromUnix(std::int64_t unixSeconds, CivilTime& out) {
    // Keep to years 1..9999 so every field prints in its format.
    constexpr std::int64_t minSec = -62135596800LL;   // 0001-01-01
    constexpr std::int64_t maxSec = 253402300799LL;   // 9999-12-31 23:59:59
    if (unixSeconds < minSec || unixSeconds > maxSec) return false;
    std::int64_t days = unixSeconds / 86400;
    std::int64_t rem = unixSeconds % 86400;
    if (rem < 0) {
        rem += 86400;
        --days;
    }
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    out.year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
    out.month = static_cast<int>(m);
    out.day = static_cast<int>(d);
    out.hour = static_cast<int>(rem / 3600);
    out.minute = static_cast<int>((rem % 3600) / 60);
    out.second = static_cast<int>(rem % 60);
    return true;
}

std::int64_t unixFromCivil(const CivilTime& t) {
    return daysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) * 86400 +
           t.hour * 3600 + t.minute * 60 + t.second;
}

std::int64_t unixFromFiletime(std::uint64_t filetime, std::uint32_t* nanoseconds) {
    constexpr std::uint64_t ticksPerSecond = 10000000ULL;
    constexpr std::int64_t epochDelta = 11644473600LL;  // seconds 1601 -> 1970
    const auto seconds = static_cast<std::int64_t>(filetime / ticksPerSecond) - epochDelta;
    if (nanoseconds) *nanoseconds = static_cast<std::uint32_t>((filetime % ticksPerSecond) * 100);
    return seconds;
}

}  // namespace tavrel
