// The XFS decoders on crafted bytes: structures that claim more than they
// hold, trees that loop or claim impossible depths, and directory blocks whose
// lengths or tags disagree each end in a clean, bounded outcome; a removed
// name in a data block's free space comes back.
#include <gtest/gtest.h>

#include "fs/xfs/XfsDirectory.h"
#include "fs/xfs/XfsExtents.h"
#include "fs/xfs/XfsSuperblock.h"
#include "image/MemoryImage.h"

using namespace tavrel;
using namespace tavrel::fs::xfs;

namespace {

void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v >> 8);
    b[at + 1] = static_cast<std::uint8_t>(v);
}
void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    put16(b, at, static_cast<std::uint16_t>(v >> 16));
    put16(b, at + 2, static_cast<std::uint16_t>(v));
}
void put64(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v) {
    put32(b, at, static_cast<std::uint32_t>(v >> 32));
    put32(b, at + 4, static_cast<std::uint32_t>(v));
}

// A version 5 geometry: 1 KiB blocks, one AG of 64 blocks, 512-byte inodes.
XfsSuperblock geometry() {
    XfsSuperblock sb;
    sb.blockSize = 1024;
    sb.blockLog = 10;
    sb.dataBlocks = 64;
    sb.agBlocks = 64;
    sb.agCount = 1;
    sb.agBlockLog = 6;
    sb.versionNum = 5;
    sb.sectorSize = 512;
    sb.inodeSize = 512;
    sb.inodeLog = 9;
    sb.inodesPerBlock = 2;
    sb.inodesPerBlockLog = 1;
    sb.incompat = kIncompatFtype;
    return sb;
}

std::vector<std::uint8_t> superblockBytes(const XfsSuperblock& sb) {
    std::vector<std::uint8_t> b(512);
    put32(b, 0, kSuperblockMagic);
    put32(b, 4, sb.blockSize);
    put64(b, 8, sb.dataBlocks);
    put32(b, 84, sb.agBlocks);
    put32(b, 88, sb.agCount);
    put16(b, 100, sb.versionNum);
    put16(b, 102, sb.sectorSize);
    put16(b, 104, sb.inodeSize);
    put16(b, 106, sb.inodesPerBlock);
    b[120] = sb.blockLog;
    b[122] = sb.inodeLog;
    b[123] = sb.inodesPerBlockLog;
    b[124] = sb.agBlockLog;
    return b;
}

TEST(XfsHostile, SuperblockFieldsThatDisagreeAreRefused) {
    ASSERT_TRUE(decodeSuperblock(superblockBytes(geometry())));
    const std::pair<const char*, void (*)(std::vector<std::uint8_t>&)> kCases[] = {
        {"no AGs", [](auto& b) { put32(b, 88, 0); }},
        {"a block size of no power of two", [](auto& b) { put32(b, 4, 1000); }},
        {"more data blocks than the AGs hold", [](auto& b) { put64(b, 8, 65); }},
        {"an AG size its logarithm does not cover", [](auto& b) { b[124] = 5; }},
        {"an inode larger than a block", [](auto& b) { put16(b, 104, 2048); }},
        {"version 3", [](auto& b) { put16(b, 100, 3); }},
    };
    for (const auto& [what, spoil] : kCases) {
        auto bytes = superblockBytes(geometry());
        spoil(bytes);
        EXPECT_FALSE(decodeSuperblock(bytes)) << what;
    }
}

// Data forks that claim more than they hold: each map ends damaged, with no
// more records than the bytes hold.
TEST(XfsHostile, DataForksClaimingTooMuchEndDamaged) {
    const XfsSuperblock sb = geometry();
    // Block 5 is a tree node of level 1 whose only pointer is itself.
    std::vector<std::uint8_t> disk(64 * 1024);
    std::vector<std::uint8_t> node(1024);
    put32(node, 0, 0x424D4133);
    put16(node, 4, 1);
    put16(node, 6, 1);
    put64(node, 72 + (1024 - 72) / 16 * 8, 5);
    std::copy(node.begin(), node.end(), disk.begin() + 5 * 1024);
    MemoryImage image(disk);
    const VolumeView volume(image, 0);

    struct Case {
        const char* what;
        ForkFormat format;
        std::uint64_t extentCount;
        std::uint16_t rootLevel;
    };
    const Case kCases[] = {
        {"2^40 extents in a fork of 336 bytes", ForkFormat::Extents, std::uint64_t{1} << 40, 0},
        {"a root of level 40", ForkFormat::Btree, 0, 40},
        {"a node that points to itself", ForkFormat::Btree, 0, 2},
    };
    for (const Case& c : kCases) {
        XfsInode inode;
        inode.format = c.format;
        inode.extentCount = c.extentCount;
        inode.dataFork.assign(336, 0);
        if (c.format == ForkFormat::Btree) {
            put16(inode.dataFork, 0, c.rootLevel);
            put16(inode.dataFork, 2, 1);
            put64(inode.dataFork, 4 + (336 - 4) / 16 * 8, 5);
        }
        const ExtentMap map = mapDataFork(inode, volume, sb);
        EXPECT_TRUE(map.damaged) << c.what;
        EXPECT_LE(map.records.size(), 336u / 16) << c.what;
    }
}

// A data block (block form, version 5): one live entry, then a free region
// holding a removed entry whose first four bytes the free tag overwrote.
std::vector<std::uint8_t> dataBlock() {
    std::vector<std::uint8_t> b(1024);
    put32(b, 0, 0x58444233);
    auto entry = [&](std::size_t at, std::uint64_t inode, const std::string& name) {
        put64(b, at, inode);
        b[at + 8] = static_cast<std::uint8_t>(name.size());
        std::copy(name.begin(), name.end(), b.begin() + static_cast<std::ptrdiff_t>(at + 9));
        b[at + 9 + name.size()] = 1;
        const std::size_t size = (8 + 1 + name.size() + 1 + 2 + 7) & ~std::size_t{7};
        put16(b, at + size - 2, static_cast<std::uint16_t>(at));
        return size;
    };
    const std::size_t live = entry(64, 70, "kept.txt");
    const std::size_t freeAt = 64 + live;
    entry(freeAt, 71, "removed.txt");
    const std::size_t freeEnd = 1024 - 8 - 8;  // one leaf entry and the tail
    put16(b, freeAt, 0xFFFF);
    put16(b, freeAt + 2, static_cast<std::uint16_t>(freeEnd - freeAt));
    put16(b, freeEnd - 2, static_cast<std::uint16_t>(freeAt));
    put32(b, 1024 - 8, 1);
    return b;
}

TEST(XfsHostile, RemovedNamesComeBackAndBadLengthsStopTheBlock) {
    DirForm form;
    form.crcs = true;
    form.fileTypes = true;
    std::vector<XfsDirItem> items;
    ASSERT_TRUE(decodeDataBlock(dataBlock(), 4096, form, items));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].name, "kept.txt");
    EXPECT_FALSE(items[0].deleted);
    EXPECT_EQ(items[1].name, "removed.txt");
    EXPECT_TRUE(items[1].deleted);
    EXPECT_EQ(items[1].inode, 71u);

    const std::pair<const char*, void (*)(std::vector<std::uint8_t>&)> kCases[] = {
        {"a free length past the block", [](auto& b) { put16(b, 64 + 24 + 2, 2000); }},
        {"a live entry's tag that is not its offset", [](auto& b) { put16(b, 64 + 24 - 2, 8); }},
        {"a leaf count larger than the block", [](auto& b) { put32(b, 1024 - 8, 1000); }},
    };
    for (const auto& [what, spoil] : kCases) {
        auto bytes = dataBlock();
        spoil(bytes);
        items.clear();
        EXPECT_FALSE(decodeDataBlock(bytes, 4096, form, items)) << what;
    }
}

}  // namespace
