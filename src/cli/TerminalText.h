// Texts from an image made safe for a terminal. Names are stored bytes and may
// hold anything; shown raw, a control byte could move the cursor, change
// colours or start a new line that looks like another entry.
//
// Escapes take the form "\xNN" (two upper-case hex digits): every byte below
// 0x20, 0x7F, and the two-byte UTF-8 forms of U+0080..U+009F (the C1 controls,
// shown byte by byte). In a listing's names a "/" inside a name shows as
// "\x2F", so only path separators print as "/", and a "\" as "\x5C", so every
// escape reads back one way.
#pragma once

#include <string>
#include <vector>

namespace tavrel::cli {

// Text with its control bytes escaped (for messages that quote a name or path).
std::string terminalText(const std::string& text);

// Names joined with "/", each escaped, "/" and "\" inside a name included.
std::string listingPath(const std::vector<std::string>& names);

}  // namespace tavrel::cli
