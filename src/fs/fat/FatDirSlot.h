// One 32-byte FAT directory slot: short entries, long-name slots, short-name
// display text and DOS date/time fields. Pure decoding.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "util/Bytes.h"
#include "util/Texts.h"

namespace tavrel::fs::fat {

inline constexpr std::size_t kSlotSize = 32;
inline constexpr std::uint8_t kDeletedMark = 0xE5;
inline constexpr std::uint8_t kLongNameAttributes = 0x0F;

struct DirSlot {
    std::array<std::uint8_t, 11> shortName{};  // bytes 0..10
    std::uint8_t attributes = 0;               // 11
    std::uint8_t caseFlags = 0;                // 12: 0x08 base lower case, 0x10 extension lower case
    std::uint8_t creationTenths = 0;           // 13
    std::uint16_t creationTime = 0;            // 14
    std::uint16_t creationDate = 0;            // 16
    std::uint16_t accessDate = 0;              // 18
    std::uint16_t firstClusterHigh = 0;        // 20
    std::uint16_t writeTime = 0;               // 22
    std::uint16_t writeDate = 0;               // 24
    std::uint16_t firstClusterLow = 0;         // 26
    std::uint32_t size = 0;                    // 28
};

// Decodes the slot at the start of `bytes` (at least 32 bytes).
std::optional<DirSlot> decodeDirSlot(ByteSpan bytes);

inline bool isLongNameSlot(std::uint8_t attributes) { return (attributes & 0x3F) == kLongNameAttributes; }
inline bool isVolumeLabel(std::uint8_t attributes) {
    return !isLongNameSlot(attributes) && (attributes & 0x08) != 0;
}

// A slot names a folder when its directory bit is set; the volume-label bit and
// the two unused high bits must be clear (garbage in deleted slots often sets them).
// Every combination of read-only, hidden, system and archive bits with the
// directory bit is a folder, so no folder's subtree is lost for its attributes.
inline bool isFolderAttributes(std::uint8_t attributes) {
    return (attributes & 0x10) != 0 && (attributes & 0xC8) == 0;
}

// Display name of an 8.3 short name: code page 437, blanks padding the base and
// the extension removed, "." only before a non-blank extension, and the lower-case
// flags of byte 12 honoured. A deleted slot keeps its 0xE5 first byte (shown as the
// code page 437 character); a leading 0x05 stands for a real 0xE5 character.
std::string shortNameText(const std::array<std::uint8_t, 11>& name, std::uint8_t caseFlags);

// Checksum of an 8.3 name that long-name slots carry in byte 13.
std::uint8_t shortNameChecksum(const std::array<std::uint8_t, 11>& name);

// The 13 UTF-16 characters of a long-name slot (bytes 1-10, 14-25, 28-31), cut at
// the first NUL (the 0xFFFF padding after it is dropped).
std::u16string longNamePart(ByteSpan slot);

// DOS date (bits 15..9 year - 1980, 8..5 month, 4..0 day) and time (15..11 hour,
// 10..5 minute, 4..0 seconds / 2), as stored: no time-zone conversion.
CivilTime dosCivil(std::uint16_t date, std::uint16_t time);
// True when month and day are in range (1..12, 1..31) and the time fields too.
bool validDosDateTime(std::uint16_t date, std::uint16_t time);

}  // namespace tavrel::fs::fat
