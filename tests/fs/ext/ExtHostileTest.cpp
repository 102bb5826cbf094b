// Hostile ext volumes: folders made by mkfs.ext4 whose extent trees the test
// points through the same two index blocks, and a size no signed offset
// reaches.
#include <gtest/gtest.h>

#include <map>

#include "fs/ext/ExtBlockMap.h"
#include "fs/ext/ext2Class.h"
#include "image/MemoryImage.h"
#include "support/FaultyReader.h"
#include "support/TestSupport.h"

using namespace tavrel;
using namespace tavrel::test;

namespace {

void putLe(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// An extent node header at `at`: entries, capacity, depth.
void putHeader(std::vector<std::uint8_t>& b, std::size_t at, int entries, int max, int depth) {
    putLe(b, at, 0xF30A, 2);
    putLe(b, at + 2, static_cast<std::uint64_t>(entries), 2);
    putLe(b, at + 4, static_cast<std::uint64_t>(max), 2);
    putLe(b, at + 6, static_cast<std::uint64_t>(depth), 2);
}

}  // namespace

// 300 folders whose trees (depth 2, 84 blocks long) all go through index block
// I, whose 84 entries all name leaf block L: each is read once in the whole
// scan, not once per folder and entry, and the folders are still listed.
TEST(ExtHostile, FoldersSharingIndexBlocksReadThemOncePerScan) {
    if (!haveTool("mkfs.ext4")) GTEST_SKIP() << "mkfs.ext4 missing";
    constexpr int kFolders = 300;
    constexpr std::uint64_t kIndex = 4000, kLeaf = 4001;  // free blocks near the volume's end
    TempDir tmp;
    for (int i = 0; i < kFolders; ++i) std::filesystem::create_directories(tmp / "src" / ("d" + std::to_string(i)));
    const auto image = tmp / "ext4.img";
    ASSERT_EQ(runCommand("mkfs.ext4 -q -F -b 1024 -O ^has_journal -d " + shellQuote((tmp / "src").string()) + " " +
                         shellQuote(image.string()) + " 4M")
                  .exitCode,
              0);
    MemoryImage disk(readFileBytes(image));
    std::vector<std::uint32_t> folders;
    {
        const VolumeView view(disk, 0);
        fs::ext2Class clean(view, {});
        WorkControl work;
        ASSERT_TRUE(clean.scan(work));
        for (const auto& e : clean.entries())
            if (e.name.size() > 1 && e.name[0] == 'd' && e.folder()) folders.push_back(e.inode);
        ASSERT_EQ(folders.size(), static_cast<std::size_t>(kFolders));
        const auto& sb = clean.superblock();
        auto& bytes = disk.bytes();
        for (const std::uint32_t n : folders) {
            const auto& g = clean.groups()[(n - 1) / sb.inodesPerGroup];
            const auto at = static_cast<std::size_t>(g.inodeTable * 1024 + (n - 1) % sb.inodesPerGroup * sb.inodeSize);
            putLe(bytes, at + 4, 84 * 1024, 4);  // i_size
            putHeader(bytes, at + 40, 1, 4, 2);
            putLe(bytes, at + 52, 0, 4);       // ei_block
            putLe(bytes, at + 56, kIndex, 4);  // ei_leaf_lo
            putLe(bytes, at + 60, 0, 2);       // ei_leaf_hi
        }
        putHeader(bytes, kIndex * 1024, 84, 84, 1);
        for (std::size_t k = 0; k < 84; ++k) {
            putLe(bytes, kIndex * 1024 + 12 + k * 12, k, 4);
            putLe(bytes, kIndex * 1024 + 12 + k * 12 + 4, kLeaf, 4);
        }
        putHeader(bytes, kLeaf * 1024, 1, 84, 0);
        putLe(bytes, kLeaf * 1024 + 16, 1, 2);      // ee_len
        putLe(bytes, kLeaf * 1024 + 20, kLeaf + 1, 4);  // ee_start_lo: a block of zeros
    }
    const LoggingReader logged(disk);
    const VolumeView view(logged, 0);
    fs::ext2Class parser(view, {});
    WorkControl work;
    ASSERT_TRUE(parser.scan(work));
    std::map<std::uint64_t, int> readsOf;
    for (const auto& r : logged.reads())
        for (const std::uint64_t block : {kIndex, kLeaf})
            if (r.offset < static_cast<std::int64_t>(block + 1) * 1024 && r.offset + r.length > static_cast<std::int64_t>(block) * 1024)
                ++readsOf[block];
    EXPECT_LE(readsOf[kIndex], 1);
    EXPECT_LE(readsOf[kLeaf], 1);
    EXPECT_GT(parser.warnings().damagedRecords(), 0);
    std::size_t listed = 0;
    for (const auto e : parser.rootLevel()) listed += parser.isFolder(e) && parser.name(e)[0] == 'd';
    EXPECT_EQ(listed, static_cast<std::size_t>(kFolders));
}

// A file of 300 mapped blocks whose size is 2^64 - 1: its extents reach as far
// as a signed 64-bit offset does, the tail past the blocks a hole.
TEST(ExtHostile, SizePastSignedOffsetsIsCutThere) {
    MemoryImage disk(std::vector<std::uint8_t>(4 << 20));
    const VolumeView view(disk, 0);
    fs::ext::ExtSuperblock sb;
    sb.blocksCount = 4096;
    fs::ext::ExtInode inode;
    inode.flags = fs::ext::kFlagExtents;
    std::vector<std::uint8_t> map(60);
    putHeader(map, 0, 1, 4, 0);
    putLe(map, 16, 300, 2);
    putLe(map, 20, 100, 4);
    std::copy(map.begin(), map.end(), inode.blockMap.begin());
    const fs::ext::ExtBlockMapper mapper(view, sb, nullptr);
    const auto r = mapper.map(inode, UINT64_MAX, true);
    EXPECT_FALSE(r.damaged);
    EXPECT_EQ(r.mapped, 300);
    EXPECT_EQ(r.extents.total(), INT64_MAX / 1024 * 1024);
}
