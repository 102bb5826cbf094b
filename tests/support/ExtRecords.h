// Sound ext on-disk records as byte arrays, for the decoder tests to damage one
// field at a time: a 1024-byte superblock and a 256-byte inode.
#pragma once

#include <cstdint>

#include "support/ByteWriter.h"

namespace tavrel::test::ext {

// Byte offsets of the superblock fields the tests change.
namespace sb {
inline constexpr std::size_t kBlocksCount = 4, kFirstDataBlock = 20, kLogBlockSize = 24, kBlocksPerGroup = 32,
                             kInodesPerGroup = 40, kMagic = 56, kRevision = 76, kFirstIno = 84, kInodeSize = 88,
                             kIncompat = 96, kRoCompat = 100, kDescSize = 0xFE, kBlocksCountHigh = 0x150,
                             kChecksumSeed = 0x270;
}  // namespace sb

// A revision-1 superblock of 4 KiB blocks: 100000 blocks in groups of 32768
// (four groups), 8192 inodes per group of 256 bytes, file types in directory
// entries.
inline ByteWriter superblockBytes() {
    ByteWriter w(1024);
    w.le32(0, 4 * 8192).le32(sb::kBlocksCount, 100000).le32(sb::kLogBlockSize, 2);
    w.le32(sb::kBlocksPerGroup, 32768).le32(sb::kInodesPerGroup, 8192).le16(sb::kMagic, 0xEF53);
    w.le32(sb::kRevision, 1).le32(sb::kFirstIno, 11).le16(sb::kInodeSize, 256).le32(sb::kIncompat, 0x0002);
    return w;
}

// Byte offsets of the inode fields the tests change.
namespace ino {
inline constexpr std::size_t kMode = 0, kSize = 4, kAtime = 8, kCtime = 12, kMtime = 16, kDtime = 20, kLinks = 26,
                             kBlocks = 28, kFlags = 32, kBlockMap = 40, kSizeHigh = 108, kBlocksHigh = 116,
                             kExtraSize = 128, kCtimeExtra = 0x84, kMtimeExtra = 0x88, kAtimeExtra = 0x8C,
                             kCrtime = 0x90, kCrtimeExtra = 0x94;
}  // namespace ino

// A live regular file of 5000 bytes (mode 0644, one link, 16 sectors) in a
// 256-byte inode whose extra area (32 bytes) holds every extra time field;
// times 1000000000 (ctime), 1000000001 (mtime), 1000000002 (atime) and
// 1000000003 (crtime), their extra fields zero.
inline ByteWriter inodeBytes() {
    ByteWriter w(256);
    w.le16(ino::kMode, 0x81A4).le32(ino::kSize, 5000).le16(ino::kLinks, 1).le32(ino::kBlocks, 16);
    w.le32(ino::kCtime, 1000000000).le32(ino::kMtime, 1000000001).le32(ino::kAtime, 1000000002);
    w.le16(ino::kExtraSize, 32).le32(ino::kCrtime, 1000000003);
    return w;
}

}  // namespace tavrel::test::ext
