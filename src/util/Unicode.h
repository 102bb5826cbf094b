// Text conversions for names read from images, and the comparisons and trimming
// every layer uses on texts. Everything inside Tavrel is UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "util/Bytes.h"

namespace tavrel {

// UTF-16LE code units (byte span, odd trailing byte ignored) to UTF-8. Unpaired
// surrogates become U+FFFD. Stops at the first NUL unit when stopAtNul is set.
std::string utf8FromUtf16le(ByteSpan units, bool stopAtNul = false);

// UTF-16 code units (host order) to UTF-8, same rules.
std::string utf8FromUtf16(const std::u16string& units);

// Code page 437 bytes (FAT short names) to UTF-8.
std::string utf8FromCp437(ByteSpan bytes);

// Appends one code point as UTF-8.
void appendUtf8(std::string& out, char32_t codePoint);

// Bytes that should be UTF-8 (a Linux file name), each invalid sequence
// (overlong, surrogate, past U+10FFFF, cut short) replaced by U+FFFD.
std::string utf8Replacing(ByteSpan bytes);

// Case-insensitive comparison of ASCII letters (file-system names, extensions).
bool equalsIgnoreCase(const std::string& a, const std::string& b);
bool startsWithIgnoreCase(const std::string& text, const std::string& prefix);
bool endsWithIgnoreCase(const std::string& text, const std::string& suffix);

// text without the spaces, tabs and line ends around it (typed or pasted
// fields, lines of rule files and descriptors). The view points into text.
std::string_view trim(std::string_view text);

}  // namespace tavrel
