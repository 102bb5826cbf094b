#include "app/SectorText.h"

#include <limits>

namespace tavrel::app {

std::int64_t parseSectorText(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    constexpr std::uint64_t kLimit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    std::uint64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const auto digit = static_cast<std::uint64_t>(text[i] - '0');
        if (value > (kLimit - digit) / 10) {
            value = kLimit;
            break;
        }
        value = value * 10 + digit;
    }
    const auto magnitude = static_cast<std::int64_t>(value);
    return negative ? -magnitude : magnitude;
}

}  // namespace tavrel::app
