// The ext2/ext3/ext4 superblock: the fields the parser uses, decoded from the
// 1024 bytes that normally lie at volume byte 1024 (backups at the start of
// some block groups), and the volume geometry derived from them.
#pragma once

#include <cstdint>
#include <optional>

#include "util/Bytes.h"

namespace tavrel::fs::ext {

inline constexpr std::uint16_t kExtMagic = 0xEF53;
inline constexpr std::size_t kMagicField = 56;  // within the superblock
inline constexpr std::size_t kSuperblockBytes = 1024;
inline constexpr std::int64_t kPrimarySuperblockOffset = 1024;
inline constexpr std::uint32_t kMinBlocksPerGroup = 256;  // the fewest blocks mke2fs puts in a group

// Feature bits the parser acts on.
inline constexpr std::uint32_t kIncompatFiletype = 0x0002;
inline constexpr std::uint32_t kIncompatMetaBg = 0x0010;
inline constexpr std::uint32_t kIncompatExtents = 0x0040;
inline constexpr std::uint32_t kIncompat64Bit = 0x0080;
inline constexpr std::uint32_t kIncompatInlineData = 0x8000;
inline constexpr std::uint32_t kIncompatLargeDir = 0x4000;
inline constexpr std::uint32_t kIncompatCsumSeed = 0x2000;
inline constexpr std::uint32_t kRoCompatGdtCsum = 0x0010;
inline constexpr std::uint32_t kRoCompatMetadataCsum = 0x0400;

struct ExtSuperblock {
    std::uint32_t inodesCount = 0;
    std::uint64_t blocksCount = 0;  // low half, plus the high half on 64-bit volumes
    std::uint32_t firstDataBlock = 0;
    std::uint32_t logBlockSize = 0;
    std::uint32_t blocksPerGroup = 0;
    std::uint32_t inodesPerGroup = 0;
    std::uint32_t revision = 0;
    std::uint16_t inodeSize = 128;  // revision 0 volumes have 128-byte inodes
    std::uint16_t blockGroupNumber = 0;  // the group whose copy this is
    std::uint32_t featureCompat = 0;
    std::uint32_t featureIncompat = 0;
    std::uint32_t featureRoCompat = 0;
    std::uint16_t descSize = 32;
    std::uint32_t firstMetaBg = 0;
    std::uint32_t firstIno = 11;        // first inode not reserved for the file system itself
    std::uint32_t checksumSeed = 0;     // metadata_csum: the seed every checksum starts from

    std::int64_t blockSize() const { return std::int64_t{1024} << logBlockSize; }
    bool has64Bit() const { return (featureIncompat & kIncompat64Bit) != 0; }
    bool hasFileType() const { return (featureIncompat & kIncompatFiletype) != 0; }
    bool hasMetaBg() const { return (featureIncompat & kIncompatMetaBg) != 0; }
    bool hasGroupChecksums() const { return (featureRoCompat & (kRoCompatGdtCsum | kRoCompatMetadataCsum)) != 0; }
    bool hasMetadataChecksums() const { return (featureRoCompat & kRoCompatMetadataCsum) != 0; }
    // Number of block groups: blocks after the first data block over blocks per group, rounded up.
    std::uint64_t groupCount() const;
};

// Decodes and checks a superblock: the magic, a block size of 1 KiB to 64 KiB,
// nonzero group sizes that fit a block's bitmap, an inode size that is a power
// of two from 128 up to the block size, and a descriptor size of 32 or, on
// 64-bit volumes, a power of two from 64 to 1024. nullopt for anything else.
std::optional<ExtSuperblock> decodeSuperblock(ByteSpan bytes);

}  // namespace tavrel::fs::ext
