// The JSON rule every `--json` command follows, in one place: one object per
// line; sizes as whole bytes with the display text beside them in "size_text";
// times as ISO 8601 UTC text or null; the warnings object of a volume.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "fs/Parser.h"

namespace tavrel::cli {

using JsonObject = nlohmann::ordered_json;

// Writes j on stdout as one line. Text that is not valid UTF-8 (names from a
// damaged image) shows U+FFFD instead of ending the output.
void printJsonLine(const JsonObject& j);

// Adds "size": bytes and "size_text": text.
void putSize(JsonObject& j, std::int64_t bytes, const std::string& text);

// "2024-03-01T12:30:05Z" (with a fraction when the time has one), or null.
JsonObject isoTime(const std::optional<fs::TimePoint>& t);

// {"unreadable_ranges": N, "damaged_records": M}
JsonObject warningsObject(const fs::Warnings& w);

// The ISO text isoTime gives, or nullopt where it gives null.
std::optional<std::string> isoTimeText(const std::optional<fs::TimePoint>& t);

// Appends s to out as a JSON string, quotes included, byte for byte as
// printJsonLine writes it: '"', '\\' and control characters escaped (\b \f \n
// \r \t, else \u00xx), other text kept as UTF-8; each invalid UTF-8 sequence
// (the longest start of a valid one, or one stray byte) becomes U+FFFD.
void appendJsonString(std::string& out, std::string_view s);

// One object written field by field straight into text, for the listings that
// print a line per entry: the same bytes printJsonLine gives for the same
// ordered object, without building one.
class JsonLine {
public:
    JsonLine() { line_.reserve(512); }  // room for a listing's line
    JsonLine& text(std::string_view key, std::string_view value);
    JsonLine& number(std::string_view key, std::int64_t value);
    JsonLine& number(std::string_view key, std::uint64_t value);
    JsonLine& flag(std::string_view key, bool value);
    // isoTime's text, or null.
    JsonLine& time(std::string_view key, const std::optional<fs::TimePoint>& t);
    // Writes the object and a newline on stdout, and starts a new one.
    void print();

private:
    void key(std::string_view k);
    std::string line_ = "{";
};

}  // namespace tavrel::cli
