// The rule file's record: 173 packed little-endian bytes per rule, no header.
//
//   0 extension (5 UTF-16 units, the fifth always 0)   10 start offset (i16)
//  12 extension length (u8)   13 start signature (10)   23 end signature (10)
//  33 start length (u8)       34 end length (u8)        35 record index (u8)
//  36 size-field offset (i32, -1 none)   40 bytes in size (i32)   44 header size (i32)
//  48 size includes header (u8)   49 reserved (4)   53 approximate size (i64)
//  61 skip size (i64)   69 category (50 UTF-16 units, NUL-terminated when shorter)
// 169 reserved (4)
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "util/Bytes.h"

namespace tavrel::raw {

inline constexpr std::size_t kRecordSize = 173;
inline constexpr std::size_t kMaxSignature = 10;
inline constexpr std::size_t kMaxExtension = 4;      // UTF-16 units
inline constexpr std::size_t kMaxCategory = 49;      // UTF-16 units, so that a terminator fits
// The last record of a rule file must start no later than this byte.
inline constexpr std::int64_t kLastRecordLimit = 1048576;

using RecordBytes = std::array<std::uint8_t, kRecordSize>;

struct SettingsRecord {
    std::u16string extension;         // at most kMaxExtension units are stored
    std::int16_t startOffset = 0;     // of the start signature within its sector
    std::uint8_t extensionLength = 0; // as typed, not capped
    std::array<std::uint8_t, kMaxSignature> start{};
    std::array<std::uint8_t, kMaxSignature> end{};
    std::uint8_t startLength = 0;
    std::uint8_t endLength = 0;       // 0: no end signature
    std::uint8_t index = 0xFF;        // 0-based position in the file, modulo 256
    std::int32_t sizeFieldOffset = -1;
    std::int32_t sizeFieldBytes = 0;
    std::int32_t headerSize = 0;
    std::uint8_t sizeIncludesHeader = 0;
    std::int64_t approxSize = 0;
    std::int64_t skipSize = 0;
    std::u16string category;          // at most 50 units are stored
};

RecordBytes encodeRecord(const SettingsRecord& record);

// Decodes one record; a span shorter than kRecordSize decodes as the initial record.
SettingsRecord decodeRecord(ByteSpan bytes);

// UTF-8 <-> UTF-16 for the record's texts (invalid UTF-8 bytes become U+FFFD).
std::u16string utf16FromUtf8(const std::string& text);

}  // namespace tavrel::raw
