// Damaged VHD metadata, one field at a time: open fails cleanly or the damaged
// part reads as zeros; nothing crashes or allocates what the file cannot hold.
#include <gtest/gtest.h>

#include <cstring>

#include "image/FileReadSeekVHD.h"
#include "support/TestSupport.h"

using namespace tavrel;
using tavrel::test::TempDir;

namespace {

void putBe32(std::vector<std::uint8_t>& b, std::size_t off, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[off + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

void putBe64(std::vector<std::uint8_t>& b, std::size_t off, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) b[off + i] = static_cast<std::uint8_t>(v >> (56 - 8 * i));
}

// A minimal dynamic VHD written by hand: footer copy, header at 512, table at
// 1536 (entries entries), one 4 KiB block at sector 4 (bitmap 512 + data 4096),
// trailing footer. Block size 4096 keeps it tiny.
std::vector<std::uint8_t> handMadeDynamic(std::uint32_t entries = 2) {
    std::vector<std::uint8_t> f(2048 + 512 + 4096 + 512, 0);
    std::vector<std::uint8_t> footer(512, 0);
    std::memcpy(footer.data(), "conectix", 8);
    putBe32(footer, 0x0C, 0x00010000);
    putBe64(footer, 0x10, 512);
    putBe64(footer, 0x28, std::uint64_t{entries} * 4096);
    putBe64(footer, 0x30, std::uint64_t{entries} * 4096);
    putBe32(footer, 0x3C, 3);
    std::memcpy(f.data(), footer.data(), 512);
    std::memcpy(f.data() + f.size() - 512, footer.data(), 512);
    std::memcpy(f.data() + 512, "cxsparse", 8);
    putBe64(f, 512 + 0x10, 1536);
    putBe32(f, 512 + 0x1C, entries);
    putBe32(f, 512 + 0x20, 4096);
    putBe32(f, 1536, 4);  // block 0 at sector 4
    for (std::uint32_t i = 1; i < entries && 1536 + 4 * i + 4 <= 2048; ++i) putBe32(f, 1536 + 4 * i, 0xFFFFFFFF);
    std::memset(f.data() + 2048 + 512, 0xAB, 4096);
    return f;
}

bool openBytes(const std::vector<std::uint8_t>& bytes, FileReadSeekVHD& r, TempDir& dir) {
    const auto path = dir / "x.vhd";
    test::writeFileBytes(path, bytes);
    return r.open(path.string());
}

}  // namespace

TEST(VhdDamage, HandMadeImageReads) {
    TempDir dir;
    FileReadSeekVHD r;
    ASSERT_TRUE(openBytes(handMadeDynamic(), r, dir));
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
        std::function<void(std::vector<std::uint8_t>&)> damage;
    };
    const std::vector<Case> cases = {
        {"header offset beyond file", [](auto& b) { putBe64(b, 0x10, 1u << 30); putBe64(b, b.size() - 512 + 0x10, 1u << 30); }},
        {"table offset beyond file", [](auto& b) { putBe64(b, 512 + 0x10, 1ull << 40); }},
        {"max table entries larger than file", [](auto& b) { putBe32(b, 512 + 0x1C, 0x7FFFFFFF); }},
        {"block size zero", [](auto& b) { putBe32(b, 512 + 0x20, 0); }},
        {"block size not a multiple of 512", [](auto& b) { putBe32(b, 512 + 0x20, 1000); }},
        {"unknown disk type", [](auto& b) { putBe32(b, 0x3C, 9); putBe32(b, b.size() - 512 + 0x3C, 9); }},
        {"no cookie anywhere", [](auto& b) { b[0] = 'x'; b[b.size() - 512] = 'x'; }},
    };
    for (const auto& c : cases) {
        auto bytes = handMadeDynamic();
        c.damage(bytes);
        FileReadSeekVHD r;
        EXPECT_FALSE(openBytes(bytes, r, dir)) << c.what;
        EXPECT_EQ(r.diskSize(), 0) << c.what;
    }
}

TEST(VhdDamage, TruncatedAndGarbageFilesFailCleanly) {
    TempDir dir;
    const auto good = handMadeDynamic();
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

TEST(VhdDamage, TableEntryBeyondTheFileReadsZeros) {
    TempDir dir;
    auto bytes = handMadeDynamic();
    putBe32(bytes, 1536, 0x00FFFFFF);  // block 0 far beyond the end of the file
    FileReadSeekVHD r;
    ASSERT_TRUE(openBytes(bytes, r, dir));
    std::vector<std::uint8_t> buf(4096, 0x11);
    r.readAt(0, buf);
    EXPECT_TRUE(std::all_of(buf.begin(), buf.end(), [](std::uint8_t v) { return v == 0; }));
}

TEST(VhdDamage, FooterCopyAtStartServesWhenTheTrailingOneIsGone) {
    TempDir dir;
    auto bytes = handMadeDynamic();
    std::memset(bytes.data() + bytes.size() - 512, 0, 512);
    FileReadSeekVHD r;
    ASSERT_TRUE(openBytes(bytes, r, dir));
    std::vector<std::uint8_t> buf(16);
    ASSERT_TRUE(r.readAt(0, buf));
    EXPECT_EQ(buf[0], 0xAB);
}

TEST(VhdDamage, DifferencingImageReadsLikeDynamicWithAbsentBlocksAsZeros) {
    TempDir dir;
    auto bytes = handMadeDynamic();
    putBe32(bytes, 0x3C, 4);
    putBe32(bytes, bytes.size() - 512 + 0x3C, 4);
    FileReadSeekVHD r;
    ASSERT_TRUE(openBytes(bytes, r, dir));
    EXPECT_EQ(r.footer().diskType, 4u);
    std::vector<std::uint8_t> buf(8192);
    ASSERT_TRUE(r.readAt(0, buf));
    EXPECT_EQ(buf[10], 0xAB);
    EXPECT_EQ(buf[5000], 0);
}
