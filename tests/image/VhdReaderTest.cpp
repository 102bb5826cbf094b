// The VHD reader against images made by qemu-img from a raw disk of known
// content: every sector must read back as in the raw file, through readAt and
// through seek + read, for dynamic and fixed images.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <fstream>

#include "image/FileReadSeekVHD.h"
#include "image/VolumeView.h"
#include "support/TestSupport.h"

using namespace tavrel;
using tavrel::test::TempDir;

namespace {

constexpr std::int64_t kMiB = 1024 * 1024;

// 24 MiB raw disk: each sector starts with its number and a fill byte; blocks 2
// and 5..7 (2 MiB blocks) stay zero so qemu-img leaves them unallocated; one
// sector in block 3 is zero inside an allocated block.
std::vector<std::uint8_t> makeRaw() {
    std::vector<std::uint8_t> raw(24 * kMiB, 0);
    for (std::int64_t s = 0; s < static_cast<std::int64_t>(raw.size()) / 512; ++s) {
        const std::int64_t block = s * 512 / (2 * kMiB);
        if (block == 2 || (block >= 5 && block <= 7)) continue;
        if (s == 3 * 4096 + 17) continue;
        std::uint8_t* p = raw.data() + s * 512;
        for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(s >> (8 * i));
        std::memset(p + 8, static_cast<int>(0x40 + s % 61), 504);
    }
    return raw;
}

struct Images {
    TempDir dir;
    std::vector<std::uint8_t> raw = makeRaw();
    std::filesystem::path rawPath = dir / "disk.raw";
    std::filesystem::path dynamicPath = dir / "dynamic.vhd";
    std::filesystem::path fixedPath = dir / "fixed.vhd";
    bool ok = false;
    Images() {
        test::writeFileBytes(rawPath, raw);
        // force_size keeps the virtual size exactly the raw size (no CHS rounding).
        const std::string base = "qemu-img convert -f raw -O vpc -o force_size=on,subformat=";
        ok = test::runCommand(base + "dynamic " + test::shellQuote(rawPath) + " " + test::shellQuote(dynamicPath))
                     .exitCode == 0 &&
             test::runCommand(base + "fixed " + test::shellQuote(rawPath) + " " + test::shellQuote(fixedPath))
                     .exitCode == 0;
    }
};

Images& images() {
    static Images i;
    return i;
}

void requireQemu() {
    if (!test::haveTool("qemu-img")) GTEST_SKIP() << "qemu-img not installed";
    ASSERT_TRUE(images().ok);
}

void expectSameAsRaw(const readWriteInterface& r) {
    const auto& raw = images().raw;
    ASSERT_EQ(r.diskSize(), static_cast<std::int64_t>(raw.size()));
    // Whole disk in 5 MiB reads (crossing block boundaries mid-read).
    std::vector<std::uint8_t> buf(5 * kMiB);
    for (std::int64_t off = 0; off < r.diskSize(); off += static_cast<std::int64_t>(buf.size())) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(buf.size(), r.diskSize() - off));
        ASSERT_TRUE(r.readAt(off, std::span(buf).first(n)));
        ASSERT_EQ(std::memcmp(buf.data(), raw.data() + off, n), 0) << "at offset " << off;
    }
}

}  // namespace

TEST(VhdReader, DynamicAndFixedImagesReadLikeTheRawDisk) {
    requireQemu();
    FileReadSeekVHD dynamic;
    ASSERT_TRUE(dynamic.open(images().dynamicPath.string())) << dynamic.lastError();
    EXPECT_FALSE(dynamic.isFixed());
    EXPECT_EQ(dynamic.totalSectors(), images().raw.size() / 512);
    EXPECT_EQ(dynamic.blockTable.size(), 12u);
    EXPECT_EQ(dynamic.tableEntriesRead, 12u);
    // qemu-img leaves all-zero blocks out of the table.
    EXPECT_EQ(dynamic.blockTable[2], kVhdUnallocated);
    EXPECT_NE(dynamic.blockTable[3], kVhdUnallocated);
    expectSameAsRaw(dynamic);

    FileReadSeekVHD fixed;
    ASSERT_TRUE(fixed.open(images().fixedPath.string())) << fixed.lastError();
    EXPECT_TRUE(fixed.isFixed());
    expectSameAsRaw(fixed);
}

TEST(VhdReader, SeekAndReadFollowSectorsAcrossBlocksAndBaseOffset) {
    requireQemu();
    FileReadSeekVHD r;
    ASSERT_TRUE(r.open(images().dynamicPath.string()));
    const auto& raw = images().raw;
    std::vector<std::uint8_t> buf(3 * 512 + 100);
    // A read spanning the end of allocated block 1 into unallocated block 2.
    const std::int64_t pos = 2 * 2 * kMiB - 512;
    ASSERT_TRUE(r.seek(pos, 0));
    ASSERT_TRUE(r.read(buf.data(), static_cast<std::uint32_t>(buf.size())));
    EXPECT_EQ(std::memcmp(buf.data(), raw.data() + pos, buf.size()), 0);
    // The next read continues where the last one stopped.
    ASSERT_TRUE(r.seek(4096 * 512, 0));
    std::vector<std::uint8_t> a(512), b(512);
    ASSERT_TRUE(r.read(a.data(), 512));
    ASSERT_TRUE(r.read(b.data(), 512));
    EXPECT_EQ(std::memcmp(b.data(), raw.data() + 4097 * 512, 512), 0);
    // baseOffset moves sector 0 of a volume to disk sector 2048.
    r.baseOffset = 2048 * 512;
    ASSERT_TRUE(r.seek(0, 0));
    ASSERT_TRUE(r.read(a.data(), 512));
    EXPECT_EQ(std::memcmp(a.data(), raw.data() + 2048 * 512, 512), 0);
    // A position past the disk fails and keeps the previous mapping.
    r.baseOffset = 0;
    EXPECT_FALSE(r.seek(24 * kMiB, 0));
    EXPECT_TRUE(r.seek(24 * kMiB - 512, 0));
    EXPECT_FALSE(r.readAt(24 * kMiB - 512, std::span(buf).first(1024)));
}

TEST(VhdReader, ContentNotNameDecidesAndReadOnlyFilesOpen) {
    requireQemu();
    // A raw disk is no VHD, whatever it is called.
    const auto rawNamedVhd = images().dir / "raw.vhd";
    std::filesystem::copy_file(images().rawPath, rawNamedVhd, std::filesystem::copy_options::overwrite_existing);
    FileReadSeekVHD raw;
    EXPECT_FALSE(raw.open(rawNamedVhd.string()));
    EXPECT_EQ(raw.lastError(), "Not a valid vhd file");

    // A VHD under another name opens; a read-only image opens (it is never written).
    const auto renamed = images().dir / "READONLY.IMG";
    std::filesystem::copy_file(images().dynamicPath, renamed, std::filesystem::copy_options::overwrite_existing);
    ::chmod(renamed.c_str(), 0444);
    FileReadSeekVHD ro;
    EXPECT_TRUE(ro.open(renamed.string())) << ro.lastError();
    expectSameAsRaw(ro);

    FileReadSeekVHD missing;
    EXPECT_FALSE(missing.open((images().dir / "absent.vhd").string()));
    EXPECT_EQ(missing.lastError(), "Invalid handle.");
}

TEST(VhdReader, OpeningNeverChangesTheImage) {
    requireQemu();
    const auto before = test::sha256File(images().dynamicPath);
    {
        FileReadSeekVHD r;
        ASSERT_TRUE(r.open(images().dynamicPath.string()));
        std::vector<std::uint8_t> buf(kMiB);
        r.readAt(0, buf);
    }
    EXPECT_EQ(test::sha256File(images().dynamicPath), before);
}

TEST(VhdReader, UnallocatedRangesAreReportedOnlyWhenNoBlockIsStored) {
    requireQemu();
    FileReadSeekVHD r;
    ASSERT_TRUE(r.open(images().dynamicPath.string()));
    EXPECT_TRUE(r.isUnallocated(2 * 2 * kMiB, 2 * kMiB));          // block 2
    EXPECT_TRUE(r.isUnallocated(5 * 2 * kMiB + 512, 5 * kMiB));   // inside blocks 5..7
    EXPECT_FALSE(r.isUnallocated(2 * 2 * kMiB - 512, 1024));       // touches block 1
    EXPECT_FALSE(r.isUnallocated(0, 512));
    EXPECT_FALSE(r.isUnallocated(24 * kMiB - 512, 1024));          // leaves the disk
    EXPECT_EQ(r.nextStored(2 * 2 * kMiB + 512), 3 * 2 * kMiB);     // the next stored block
    EXPECT_EQ(r.nextStored(3 * 2 * kMiB + 512), 3 * 2 * kMiB + 512);
    // A walk's view: block 2 is passed over, and of blocks 1 and 2 only block 1 is read.
    const VolumeView view(r, 0);
    EXPECT_EQ(view.storedChunkFrom(2 * 2 * kMiB, 2 * kMiB), 3 * 2 * kMiB);
    EXPECT_EQ(view.storedChunkFrom(3 * 2 * kMiB, 2 * kMiB), 3 * 2 * kMiB);
    EXPECT_EQ(view.storedPrefix(2 * kMiB, 4 * kMiB), 2 * kMiB);
    EXPECT_EQ(view.storedPrefix(2 * 2 * kMiB, 2 * kMiB), 0);
    FileReadSeekVHD fixed;
    ASSERT_TRUE(fixed.open(images().fixedPath.string()));
    EXPECT_FALSE(fixed.isUnallocated(2 * 2 * kMiB, 2 * kMiB));     // fixed images store everything
    EXPECT_EQ(fixed.nextStored(2 * 2 * kMiB), 2 * 2 * kMiB);
}
