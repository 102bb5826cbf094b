// Damaged VHD metadata, one field at a time: open fails cleanly or the damaged
// part reads as zeros; nothing crashes or allocates what the file cannot hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "image/FileReadSeekVHD.h"
#include "support/TestSupport.h"
#include "support/VhdBuilder.h"

using namespace tavrel;
using namespace tavrel::test::vhdfield;
using tavrel::test::TempDir;
using tavrel::test::VhdImage;

namespace {

// A tiny dynamic VHD: 4 KiB blocks, `entries` of them, block 0 stored and
// filled with 0xAB, the rest unallocated.
VhdImage tinyDynamic(std::uint32_t entries = 2, test::VhdKind kind = test::VhdKind::Dynamic) {
    test::VhdSpec spec;
    spec.kind = kind;
    spec.blockSize = 4096;
    spec.diskBytes = std::uint64_t{entries} * 4096;
    for (std::uint64_t s = 0; s < 8; ++s) spec.sectors[s] = std::vector<std::uint8_t>(512, 0xAB);
    return test::buildVhd(spec);
}

bool openBytes(const std::vector<std::uint8_t>& bytes, FileReadSeekVHD& r, TempDir& dir) {
    const auto path = dir / "x.vhd";
    test::writeFileBytes(path, bytes);
    return r.open(path.string());
}

}  // namespace

TEST(VhdDamage, TinyImageReads) {
    TempDir dir;
    FileReadSeekVHD r;
    ASSERT_TRUE(openBytes(tinyDynamic().bytes, r, dir));
    std::vector<std::uint8_t> buf(8192);
    ASSERT_TRUE(r.readAt(0, buf));
    EXPECT_EQ(buf[0], 0xAB);
    EXPECT_EQ(buf[4095], 0xAB);
    EXPECT_EQ(buf[4096], 0);  // block 1 unallocated
}

TEST(VhdDamage, MetadataOutsideTheFileFailsOpen) {
    TempDir dir;
    struct Case {
        const char* what;
        std::function<void(VhdImage&)> damage;
    };
    const std::vector<Case> cases = {
        {"header offset beyond file", [](auto& v) { v.forgeFooter(kFooterDataOffset, 1u << 30, 8); }},
        {"table offset beyond file", [](auto& v) { v.forgeHeader(kHeaderTableOffset, 1ull << 40, 8); }},
        {"max table entries larger than file", [](auto& v) { v.forgeHeader(kHeaderMaxTableEntries, 0x7FFFFFFF, 4); }},
        {"block size zero", [](auto& v) { v.forgeHeader(kHeaderBlockSize, 0, 4); }},
        {"block size not a multiple of 512", [](auto& v) { v.forgeHeader(kHeaderBlockSize, 1000, 4); }},
        {"unknown disk type", [](auto& v) { v.forgeFooter(kFooterDiskType, 9, 4); }},
        {"no cookie anywhere", [](auto& v) { v.bytes[0] = 'x'; v.bytes[v.footerAt] = 'x'; }},
    };
    for (const auto& c : cases) {
        VhdImage image = tinyDynamic();
        c.damage(image);
        FileReadSeekVHD r;
        EXPECT_FALSE(openBytes(image.bytes, r, dir)) << c.what;
        EXPECT_EQ(r.lastError(), "Not a valid vhd file") << c.what;
        EXPECT_EQ(r.diskSize(), 0) << c.what;
    }
}

TEST(VhdDamage, TruncatedAndGarbageFilesFailCleanly) {
    TempDir dir;
    const auto good = tinyDynamic().bytes;
    for (std::size_t len : {std::size_t{0}, std::size_t{100}, std::size_t{511}, std::size_t{700}, std::size_t{1540}}) {
        std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(len));
        FileReadSeekVHD r;
        EXPECT_FALSE(openBytes(cut, r, dir)) << "length " << len;
    }
    std::vector<std::uint8_t> garbage(64 * 1024);
    for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
    FileReadSeekVHD r;
    EXPECT_FALSE(openBytes(garbage, r, dir));
}

TEST(VhdDamage, TableEntryBeyondTheFileReadsZerosAndFails) {
    TempDir dir;
    VhdImage image = tinyDynamic();
    image.forgeTableEntry(0, 0x00FFFFFF);  // block 0 far beyond the end of the file
    FileReadSeekVHD r;
    ASSERT_TRUE(openBytes(image.bytes, r, dir));
    std::vector<std::uint8_t> buf(4096, 0x11);
    EXPECT_FALSE(r.readAt(0, buf)) << "nothing of the block is stored";
    EXPECT_TRUE(std::all_of(buf.begin(), buf.end(), [](std::uint8_t v) { return v == 0; }));
}

TEST(VhdDamage, FooterCopyAtStartServesWhenTheTrailingOneIsGone) {
    TempDir dir;
    VhdImage image = tinyDynamic();
    std::fill(image.bytes.begin() + static_cast<std::ptrdiff_t>(image.footerAt), image.bytes.end(), 0);
    FileReadSeekVHD r;
    ASSERT_TRUE(openBytes(image.bytes, r, dir));
    std::vector<std::uint8_t> buf(16);
    ASSERT_TRUE(r.readAt(0, buf));
    EXPECT_EQ(buf[0], 0xAB);
}

TEST(VhdDamage, DifferencingImageReadsLikeDynamicWithAbsentBlocksAsZeros) {
    TempDir dir;
    FileReadSeekVHD r;
    ASSERT_TRUE(openBytes(tinyDynamic(2, test::VhdKind::Differencing).bytes, r, dir));
    EXPECT_EQ(r.footer().diskType, 4u);
    std::vector<std::uint8_t> buf(8192);
    ASSERT_TRUE(r.readAt(0, buf));
    EXPECT_EQ(buf[10], 0xAB);
    EXPECT_EQ(buf[5000], 0);
}
