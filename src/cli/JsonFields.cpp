#include "cli/JsonFields.h"

#include <cstdio>
#include <iostream>

#include "util/Texts.h"

namespace tavrel::cli {

void printJsonLine(const JsonObject& j) {
    std::cout << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

void putSize(JsonObject& j, std::int64_t bytes, const std::string& text) {
    j["size"] = bytes;
    j["size_text"] = text;
}

JsonObject isoTime(const std::optional<fs::TimePoint>& t) {
    CivilTime c;
    if (!t || !civilFromUnix(t->seconds, c)) return nullptr;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", c.year, c.month, c.day, c.hour, c.minute,
                  c.second);
    std::string text = buf;
    if (t->nanoseconds != 0 && t->nanoseconds < 1000000000u) {
        std::snprintf(buf, sizeof buf, ".%09u", t->nanoseconds);
        std::string fraction = buf;
        while (fraction.back() == '0') fraction.pop_back();
        text += fraction;
    }
    return text + "Z";
}

JsonObject warningsObject(const fs::Warnings& w) {
    return {{"unreadable_ranges", w.unreadableRanges()}, {"damaged_records", w.damagedRecords()}};
}

}  // namespace tavrel::cli
