// Decoders of the ext superblock and inode, fed from byte arrays: one field
// changed per case from a sound record (tests/support/ExtRecords.h).
#include <gtest/gtest.h>

#include <string>

#include "fs/ext/ExtInode.h"
#include "fs/ext/ExtSuperblock.h"
#include "support/ExtRecords.h"

using namespace tavrel;
using namespace tavrel::fs::ext;
using tavrel::test::ByteWriter;
namespace sb = tavrel::test::ext::sb;
namespace ino = tavrel::test::ext::ino;

namespace {

using Edit = void (*)(ByteWriter&);

constexpr std::uint64_t k4G = std::uint64_t{1} << 32;

// Turns on 64-bit block numbers with 64-byte group descriptors.
void make64Bit(ByteWriter& w) { w.le32(sb::kIncompat, 0x0002 | 0x0080).le16(sb::kDescSize, 64); }

ExtSuperblock soundSuperblock() { return *decodeSuperblock(tavrel::test::ext::superblockBytes().span()); }

}  // namespace

TEST(ExtSuperblock, EachImpossibleFieldIsRefused) {
    struct Case {
        const char* what;
        Edit edit;
    };
    const Case cases[] = {
        {"magic", [](ByteWriter& w) { w.le16(sb::kMagic, 0xEF54); }},
        {"blocks over 64 KiB", [](ByteWriter& w) { w.le32(sb::kLogBlockSize, 7); }},
        {"groups under 256 blocks", [](ByteWriter& w) { w.le32(sb::kBlocksPerGroup, 255); }},
        {"groups past one bitmap block", [](ByteWriter& w) { w.le32(sb::kBlocksPerGroup, 32769); }},
        {"no inodes per group", [](ByteWriter& w) { w.le32(sb::kInodesPerGroup, 0); }},
        {"inodes past one bitmap block", [](ByteWriter& w) { w.le32(sb::kInodesPerGroup, 32769); }},
        {"inodes under 128 bytes", [](ByteWriter& w) { w.le16(sb::kInodeSize, 64); }},
        {"inode size not a power of two", [](ByteWriter& w) { w.le16(sb::kInodeSize, 384); }},
        {"inodes larger than a block", [](ByteWriter& w) { w.le16(sb::kInodeSize, 8192); }},
        {"first data block past 1", [](ByteWriter& w) { w.le32(sb::kFirstDataBlock, 2); }},
        {"no blocks", [](ByteWriter& w) { w.le32(sb::kBlocksCount, 0); }},
        {"64-bit descriptors of 32 bytes", [](ByteWriter& w) { make64Bit(w); w.le16(sb::kDescSize, 32); }},
        {"64-bit descriptors of 96 bytes", [](ByteWriter& w) { make64Bit(w); w.le16(sb::kDescSize, 96); }},
        {"64-bit descriptors of 2048 bytes", [](ByteWriter& w) { make64Bit(w); w.le16(sb::kDescSize, 2048); }},
        // 2^54 blocks of 4 KiB: byte offsets past 2^62.
        {"blocks past 2^62 bytes", [](ByteWriter& w) { make64Bit(w); w.le32(sb::kBlocksCountHigh, 1u << 22); }},
    };
    for (const Case& c : cases) {
        ByteWriter w = tavrel::test::ext::superblockBytes();
        c.edit(w);
        EXPECT_FALSE(decodeSuperblock(w.span())) << c.what;
    }
    EXPECT_FALSE(decodeSuperblock(tavrel::test::ext::superblockBytes().span().first(1023))) << "short";
}

TEST(ExtSuperblock, FieldsAndGeometryDecoded) {
    struct Case {
        const char* what;
        Edit edit;
        std::int64_t blockSize;
        std::uint64_t blocks;
        std::uint64_t groups;
        std::uint16_t inodeSize;
        std::uint16_t descSize;
        bool fileType;
        std::uint32_t seed;  // 0: not checked (the checksum of the UUID)
    };
    const Case cases[] = {
        {"sound", [](ByteWriter&) {}, 4096, 100000, 4, 256, 32, true, 0},
        // Revision 0 has neither an inode-size field nor feature words.
        {"revision 0", [](ByteWriter& w) { w.le32(sb::kRevision, 0); }, 4096, 100000, 4, 128, 32, false, 0},
        {"64-bit high block count", [](ByteWriter& w) { make64Bit(w); w.le32(sb::kBlocksCountHigh, 1); }, 4096,
         k4G + 100000, k4G / 32768 + 4, 256, 64, true, 0},
        // 1 KiB blocks: block 0 holds the boot record, groups count from block 1.
        {"1 KiB blocks",
         [](ByteWriter& w) {
             w.le32(sb::kLogBlockSize, 0).le32(sb::kFirstDataBlock, 1).le32(sb::kBlocksPerGroup, 8192);
         },
         1024, 100000, 13, 256, 32, true, 0},
        {"stored checksum seed",
         [](ByteWriter& w) { w.le32(sb::kIncompat, 0x0002 | 0x2000).le32(sb::kChecksumSeed, 0x12345678); }, 4096,
         100000, 4, 256, 32, true, 0x12345678},
    };
    for (const Case& c : cases) {
        ByteWriter w = tavrel::test::ext::superblockBytes();
        c.edit(w);
        const auto s = decodeSuperblock(w.span());
        ASSERT_TRUE(s) << c.what;
        EXPECT_EQ(s->blockSize(), c.blockSize) << c.what;
        EXPECT_EQ(s->blocksCount, c.blocks) << c.what;
        EXPECT_EQ(s->groupCount(), c.groups) << c.what;
        EXPECT_EQ(s->inodeSize, c.inodeSize) << c.what;
        EXPECT_EQ(s->descSize, c.descSize) << c.what;
        EXPECT_EQ(s->hasFileType(), c.fileType) << c.what;
        if (c.seed != 0) {
            EXPECT_EQ(s->checksumSeed, c.seed) << c.what;
        }
    }
}

TEST(ExtInode, FieldsTimesAndHostileExtraArea) {
    struct Case {
        const char* what;
        Edit edit;
        std::uint64_t size;
        std::uint64_t blocks512;
        bool freed;
        std::int64_t changed;  // seconds
        std::uint32_t changedNs;
        bool accessed;
        bool created;
    };
    constexpr std::int64_t t = 1000000000;
    const Case cases[] = {
        {"sound", [](ByteWriter&) {}, 5000, 16, false, t, 0, true, true},
        {"size high half of a file", [](ByteWriter& w) { w.le32(ino::kSizeHigh, 1); }, k4G + 5000, 16, false, t,
         0, true, true},
        // Before large directories the field held a directory's ACL block.
        {"directory's high half is not its size",
         [](ByteWriter& w) { w.le16(ino::kMode, 0x41ED).le32(ino::kSizeHigh, 7); }, 5000, 16, false, t, 0, true,
         true},
        {"block count high half", [](ByteWriter& w) { w.le16(ino::kBlocksHigh, 1); }, 5000, k4G + 16, false, t, 0,
         true, true},
        {"deletion time", [](ByteWriter& w) { w.le32(ino::kDtime, 1); }, 5000, 16, true, t, 0, true, true},
        {"no links", [](ByteWriter& w) { w.le16(ino::kLinks, 0); }, 5000, 16, true, t, 0, true, true},
        {"epoch bits carry a time past 2038", [](ByteWriter& w) { w.le32(ino::kCtimeExtra, 1 | (500u << 2)); },
         5000, 16, false, t + static_cast<std::int64_t>(k4G), 500, true, true},
        {"nanoseconds of a second or more are dropped",
         [](ByteWriter& w) { w.le32(ino::kCtimeExtra, 1000000000u << 2); }, 5000, 16, false, t, 0, true, true},
        {"zero time is no time", [](ByteWriter& w) { w.le32(ino::kAtime, 0); }, 5000, 16, false, t, 0, false,
         true},
        {"no extra area: no extra fields, no creation time",
         [](ByteWriter& w) { w.le16(ino::kExtraSize, 0).le32(ino::kCtimeExtra, 5u << 2); }, 5000, 16, false, t, 0,
         true, false},
        {"extra area past the inode's end",
         [](ByteWriter& w) { w.le16(ino::kExtraSize, 0xFFFF).le32(ino::kCtimeExtra, 5u << 2); }, 5000, 16, false,
         t, 5, true, true},
    };
    const ExtSuperblock super = soundSuperblock();
    for (const Case& c : cases) {
        ByteWriter w = tavrel::test::ext::inodeBytes();
        c.edit(w);
        const ExtInode n = decodeInode(w.span(), super);
        EXPECT_EQ(n.size, c.size) << c.what;
        EXPECT_EQ(n.blocks512, c.blocks512) << c.what;
        EXPECT_EQ(n.freed(), c.freed) << c.what;
        ASSERT_TRUE(n.changed) << c.what;
        EXPECT_EQ(n.changed->seconds, c.changed) << c.what;
        EXPECT_EQ(n.changed->nanoseconds, c.changedNs) << c.what;
        EXPECT_EQ(n.accessed.has_value(), c.accessed) << c.what;
        EXPECT_EQ(n.created.has_value(), c.created) << c.what;
    }
    // A 128-byte inode (revision 0 volume) has no extra area to read.
    ExtSuperblock small = super;
    small.inodeSize = 128;
    const ExtInode old = decodeInode(tavrel::test::ext::inodeBytes().span().first(128), small);
    EXPECT_EQ(old.size, 5000u);
    EXPECT_FALSE(old.created);
}

// An inline-data inode keeps the content past its first 60 bytes in the
// in-inode attribute "system.data" (name index 7, name "data").
TEST(ExtInode, InlineDataTailOnlyFromItsOwnAttribute) {
    struct Case {
        const char* what;
        Edit edit;
        std::string tail;
    };
    // The attribute entries start after the magic at the end of the extra area
    // (128 + 32); value offsets count from the first entry.
    constexpr std::size_t kEntries = 164;
    const Case cases[] = {
        {"sound", [](ByteWriter&) {}, "hello"},
        {"another name index", [](ByteWriter& w) { w.u8(kEntries + 1, 1); }, ""},
        {"another name", [](ByteWriter& w) { w.ascii(kEntries + 16, "dat2"); }, ""},
        {"value past the inode's end", [](ByteWriter& w) { w.le16(kEntries + 2, 90); }, ""},
        {"no attribute magic", [](ByteWriter& w) { w.le32(kEntries - 4, 0); }, ""},
        {"name past the inode's end", [](ByteWriter& w) { w.u8(kEntries, 200); }, ""},
    };
    for (const Case& c : cases) {
        ByteWriter w = tavrel::test::ext::inodeBytes();
        w.le32(ino::kFlags, kFlagInlineData).le32(kEntries - 4, 0xEA020000);
        w.u8(kEntries, 4).u8(kEntries + 1, 7).le16(kEntries + 2, 32).le32(kEntries + 8, 5);
        w.ascii(kEntries + 16, "data").ascii(kEntries + 32, "hello");
        c.edit(w);
        const ExtInode n = decodeInode(w.span(), soundSuperblock());
        EXPECT_EQ(std::string(n.inlineTail.begin(), n.inlineTail.end()), c.tail) << c.what;
    }
}
