// Damaged VDI headers, one field at a time, give a clean refusal before anything
// is allocated from them; damaged block maps read as zeros; an image without a
// single allocated block is a sound empty disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "image/FileReadSeekVdi.h"
#include "image/ImageOpener.h"
#include "support/TestSupport.h"

using namespace tavrel;
using namespace tavrel::test;

namespace {

// A 3 MiB disk as qemu-img writes it (1 MiB blocks): the first and last MiB
// hold data, the middle one was never written.
std::vector<std::uint8_t> smallVdi(const TempDir& dir) {
    std::vector<std::uint8_t> raw(3 * 1048576, 0);
    for (std::size_t i = 0; i < 1048576; ++i) raw[i] = raw[2 * 1048576 + i] = static_cast<std::uint8_t>(i % 251 + 1);
    writeFileBytes(dir / "src.raw", raw);
    const auto r = runCommand("qemu-img convert -f raw -O vdi " + shellQuote((dir / "src.raw").string()) + " " +
                              shellQuote((dir / "small.vdi").string()));
    return r.exitCode == 0 ? readFileBytes(dir / "small.vdi") : std::vector<std::uint8_t>();
}

void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v, int width = 4) {
    for (int i = 0; i < width; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

bool allZero(const std::vector<std::uint8_t>& b) {
    return std::all_of(b.begin(), b.end(), [](std::uint8_t v) { return v == 0; });
}

}  // namespace

TEST(VdiDamage, BrokenHeaderFieldsFailOpenCleanly) {
    if (!haveTool("qemu-img")) GTEST_SKIP() << "qemu-img not installed";
    TempDir dir;
    const auto good = smallVdi(dir);
    ASSERT_FALSE(good.empty());
    const std::uint32_t mapAt = le32(good, 0x154);
    struct Case {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&)> damage;
        ImageError error = ImageError::Damaged;
    };
    const std::vector<Case> cases = {
        {"header size zero", [](auto& b) { put32(b, 0x48, 0); }},
        {"version 2", [](auto& b) { put32(b, 0x44, 0x00020000); }, ImageError::Unsupported},
        {"disk size zero", [](auto& b) { put32(b, 0x170, 0, 8); }},
        {"disk size huge", [](auto& b) { put32(b, 0x170, ~0ull, 8); }},
        {"block size zero", [](auto& b) { put32(b, 0x178, 0); }},
        {"block size not whole sectors", [](auto& b) { put32(b, 0x178, 1000); }},
        {"block size huge", [](auto& b) { put32(b, 0x178, 0x80000000u); }},
        {"block count larger than the file", [](auto& b) { put32(b, 0x180, 0x7FFFFFFF); }},
        {"block count zero", [](auto& b) { put32(b, 0x180, 0); }},
        {"block map beyond the file", [](auto& b) { put32(b, 0x154, 0xFFFFFF00u); }},
        {"data offset beyond the file", [](auto& b) { put32(b, 0x158, 0xFFFFFF00u); }},
        {"cut inside the header", [](auto& b) { b.resize(0x100); }},
        {"cut inside the block map", [mapAt](auto& b) { b.resize(mapAt + 4); }},
    };
    for (const auto& c : cases) {
        auto bytes = good;
        c.damage(bytes);
        writeFileBytes(dir / "bad.vdi", bytes);
        FileReadSeekVdi r;
        EXPECT_FALSE(r.open((dir / "bad.vdi").string())) << c.what;
        EXPECT_EQ(r.lastError(), kNotVdiText) << c.what;
        EXPECT_EQ(r.diskSize(), 0) << c.what;
        EXPECT_TRUE(r.blockMap().empty()) << c.what;
        // The opener claims it by content and passes the reader's refusal on.
        const OpenedImage opened = openImage((dir / "bad.vdi").string());
        EXPECT_EQ(opened.error, c.error) << c.what;
        EXPECT_EQ(opened.message, kNotVdiText) << c.what;
    }
}

TEST(VdiDamage, BlocksWithoutDataReadAsZerosAndAreSkippable) {
    if (!haveTool("qemu-img")) GTEST_SKIP() << "qemu-img not installed";
    TempDir dir;
    auto bytes = smallVdi(dir);
    ASSERT_FALSE(bytes.empty());
    const std::uint32_t mapAt = le32(bytes, 0x154);
    ASSERT_EQ(le32(bytes, mapAt + 4), kVdiBlockFree);  // the middle MiB was never written
    put32(bytes, mapAt, kVdiBlockZero);                // block 0: recorded as zeros
    put32(bytes, mapAt + 8, 0x00FFFFFF);               // block 2: far beyond the end of the file
    put32(bytes, 0x184, 0);                            // no allocated block claimed
    writeFileBytes(dir / "x.vdi", bytes);
    FileReadSeekVdi r;
    ASSERT_TRUE(r.open((dir / "x.vdi").string())) << r.lastError();
    EXPECT_EQ(r.diskSize(), 3 * 1048576);
    std::vector<std::uint8_t> buf(2 * 1048576, 0x55);
    EXPECT_TRUE(r.readAt(0, buf));
    EXPECT_TRUE(allZero(buf));
    EXPECT_TRUE(r.isUnallocated(0, 2 * 1048576));
    EXPECT_FALSE(r.isUnallocated(1048576, 1048576 + 512));
    // The block stored beyond the file: zeros, and the read says it failed.
    std::vector<std::uint8_t> tail(4096, 0x55);
    EXPECT_FALSE(r.readAt(2 * 1048576, tail));
    EXPECT_TRUE(allZero(tail));
    // The stateful pair marks the sector unallocated.
    ASSERT_TRUE(r.seek(1048576 + 512));
    EXPECT_EQ(r.sectorAllocated, 0);
}

TEST(VdiDamage, AnEmptyImageOpensAsAZeroDisk) {
    if (!haveTool("qemu-img")) GTEST_SKIP() << "qemu-img not installed";
    TempDir dir;
    ASSERT_EQ(runCommand("qemu-img create -q -f vdi " + shellQuote((dir / "empty.vdi").string()) + " 5M").exitCode, 0);
    const OpenedImage opened = openImage((dir / "empty.vdi").string());
    ASSERT_TRUE(opened) << opened.message;
    const ImageInfo info = opened.reader->describe();
    EXPECT_EQ(info.format, "vdi");
    EXPECT_EQ(info.diskSize, 5 * 1048576);
    EXPECT_EQ(info.sizeText(), "5 MB");
    EXPECT_EQ(info.version->text, "65537");
    EXPECT_TRUE(opened.reader->isUnallocated(0, 5 * 1048576));
    std::vector<std::uint8_t> buf(5 * 1048576, 1);
    EXPECT_TRUE(opened.reader->readAt(0, buf));
    EXPECT_TRUE(allZero(buf));
}
