// The JSON rule every `--json` command follows, in one place: one object per
// line; sizes as whole bytes with the display text beside them in "size_text";
// times as ISO 8601 UTC text or null; the warnings object of a volume.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

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

}  // namespace tavrel::cli
