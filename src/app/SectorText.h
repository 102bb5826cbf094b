// Sector numbers typed into the pages' fields.
#pragma once

#include <cstdint>
#include <string>

namespace tavrel::app {

// Signed 64-bit decimal at the start of text (leading blanks and a sign allowed);
// reading stops at the first other character; 0 when there is no number; values
// beyond the 64-bit range are clamped.
std::int64_t parseSectorText(const std::string& text);

}  // namespace tavrel::app
