// One inode record: the fields the listing and the save use. Decoding is pure;
// the record's bytes come from the group's inode table.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fs/Parser.h"
#include "fs/ext/ExtSuperblock.h"

namespace tavrel::fs::ext {

inline constexpr std::uint16_t kModeTypeMask = 0xF000;
inline constexpr std::uint16_t kModeDirectory = 0x4000;
inline constexpr std::uint16_t kModeRegular = 0x8000;
inline constexpr std::uint16_t kModeSymlink = 0xA000;

inline constexpr std::uint32_t kFlagIndexedDir = 0x00001000;
inline constexpr std::uint32_t kFlagExtents = 0x00080000;
inline constexpr std::uint32_t kFlagInlineData = 0x10000000;

inline constexpr std::size_t kBlockMapBytes = 60;  // i_block

struct ExtInode {
    std::uint16_t mode = 0;
    std::uint16_t links = 0;
    std::uint32_t flags = 0;
    std::uint64_t size = 0;
    std::uint32_t dtime = 0;
    std::uint64_t blocks512 = 0;  // i_blocks as 512-byte units (0 for a fast symlink)
    std::optional<TimePoint> accessed, changed, modified, created;
    std::array<std::uint8_t, kBlockMapBytes> blockMap{};
    // Inline-data inodes: the part of the content kept in the "system.data"
    // extended attribute, after the first 60 bytes held in i_block.
    std::vector<std::uint8_t> inlineTail;

    std::uint16_t type() const { return mode & kModeTypeMask; }
    bool isDirectory() const { return type() == kModeDirectory; }
    // Never used, or wiped: nothing to show of it.
    bool empty() const { return mode == 0 && links == 0 && size == 0 && flags == 0; }
    // Free: no links left, or a deletion time set.
    bool freed() const { return links == 0 || dtime != 0; }
    bool extents() const { return (flags & kFlagExtents) != 0; }
    bool inlineData() const { return (flags & kFlagInlineData) != 0; }
    // A symlink whose target is held in i_block itself.
    bool fastSymlink() const {
        return type() == kModeSymlink && !extents() && !inlineData() && size < kBlockMapBytes && blocks512 == 0;
    }
    // True when i_block maps nothing: all zero, or an extent header with no entries.
    bool mapCleared() const;
};

// Decodes an inode of `bytes.size()` bytes (the volume's inode size). Times are
// signed Unix seconds; the extra fields of large inodes add nanoseconds and
// the epoch bits that carry times past 2038.
ExtInode decodeInode(ByteSpan bytes, const ExtSuperblock& sb);

// Whether the bytes of inode slot `number` hold an inode the file system wrote,
// for slots no group count vouches for (a table whose counts are stale, or
// never initialised and never zeroed): not empty, a known file type, an extra
// area that fits, an extent header where the flags say extents, and on
// metadata_csum volumes a checksum that matches.
bool plausibleInode(ByteSpan bytes, std::uint32_t number, const ExtSuperblock& sb);

// True when the inode's stored checksum (metadata_csum) matches its bytes.
bool inodeChecksumMatches(ByteSpan bytes, std::uint32_t number, const ExtSuperblock& sb);

}  // namespace tavrel::fs::ext
