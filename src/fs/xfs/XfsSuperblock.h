// The XFS superblock: the fields the parser uses, decoded from the first sector
// of the volume (each allocation group begins with a copy), and the geometry
// derived from them: where an inode or a file-system block lies. XFS is
// big-endian on disk; its checksums (version 5) are CRC-32C stored little-endian.
#pragma once

#include <cstdint>
#include <optional>

#include "util/Bytes.h"

namespace tavrel::fs::xfs {

inline constexpr std::uint32_t kSuperblockMagic = 0x58465342;  // "XFSB"
inline constexpr std::size_t kSuperblockBytes = 264;             // the version 5 fields
inline constexpr std::size_t kSuperblockCrcOffset = 224;

// Feature bits the parser acts on.
inline constexpr std::uint16_t kVersionMask = 0x000F;
inline constexpr std::uint16_t kVersionMoreBits = 0x8000;        // features2 is valid
inline constexpr std::uint32_t kFeatures2Ftype = 0x00000200;     // version 4 names carry a file type
inline constexpr std::uint32_t kIncompatFtype = 0x00000001;
inline constexpr std::uint32_t kIncompatSparseInodes = 0x00000002;
inline constexpr std::uint32_t kIncompatBigTime = 0x00000008;
inline constexpr std::uint32_t kIncompatNrext64 = 0x00000020;

struct XfsSuperblock {
    std::uint32_t blockSize = 0;
    std::uint64_t dataBlocks = 0;
    std::uint64_t rootInode = 0;
    std::uint64_t inodesInUse = 0;  // sb_icount: allocated inodes
    // Inodes of the file system's own (realtime bitmap and summary, quotas):
    // in use, but named by no folder.
    std::uint64_t metaInodes[5] = {};
    std::uint32_t agBlocks = 0;
    std::uint32_t agCount = 0;
    std::uint16_t versionNum = 0;
    std::uint16_t sectorSize = 0;
    std::uint16_t inodeSize = 0;
    std::uint16_t inodesPerBlock = 0;
    std::uint8_t blockLog = 0;
    std::uint8_t inodeLog = 0;
    std::uint8_t inodesPerBlockLog = 0;
    std::uint8_t agBlockLog = 0;
    std::uint8_t dirBlockLog = 0;
    std::uint32_t features2 = 0;
    std::uint32_t incompat = 0;

    int version() const { return versionNum & kVersionMask; }
    bool crcs() const { return version() >= 5; }
    bool fileTypes() const {
        return crcs() ? (incompat & kIncompatFtype) != 0
                      : (versionNum & kVersionMoreBits) != 0 && (features2 & kFeatures2Ftype) != 0;
    }
    bool sparseInodes() const { return crcs() && (incompat & kIncompatSparseInodes) != 0; }
    std::uint32_t dirBlockSize() const { return blockSize << dirBlockLog; }
    // Inode numbers: AG number, then the block within the AG, then the slot.
    int agInodeBits() const { return agBlockLog + inodesPerBlockLog; }

    // The volume byte offset of an inode; -1 when the number names no slot of
    // the volume (an AG past the count, a block past the AG's size).
    std::int64_t inodeOffset(std::uint64_t inode) const;
    // The volume byte offset of a file-system block number (AG number in the
    // high bits, block within the AG below agBlockLog); -1 when it names none.
    std::int64_t blockOffset(std::uint64_t fsBlock) const;
    // The byte offset of block `agBlock` of AG `ag`; -1 when it names none.
    std::int64_t agBlockOffset(std::uint64_t ag, std::uint64_t agBlock) const;
};

// Decodes and checks a superblock: the magic, version 4 or 5, a block size of
// 512 bytes to 64 KiB, a sector size of 512 to 32 KiB, an inode size of 256 to
// 2048 bytes that fits the block, directory blocks of 64 KiB at most, logarithms that agree with the sizes, and an AG size and count
// whose product covers the data blocks. nullopt for anything else.
std::optional<XfsSuperblock> decodeSuperblock(ByteSpan bytes);

// Version 5 structures read that fail their checksum: how many, and the volume
// offset of the first. They are read as they stand.
struct CrcFailures {
    std::size_t count = 0;
    std::int64_t first = -1;
    void note(std::int64_t at) {
        if (count++ == 0) first = at;
    }
};

// True when a version 5 structure's stored CRC-32C matches `bytes` (the field
// at `crcOffset` taken as zero). Version 4 structures carry none.
bool crcMatches(ByteSpan bytes, std::size_t crcOffset);

}  // namespace tavrel::fs::xfs
