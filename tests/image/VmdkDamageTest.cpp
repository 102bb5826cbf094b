// Damaged VMDK images give a clean refusal at open or, where only data is hit,
// zeros and a failed read; descriptors never lead outside their folder nor to
// anything but a regular file; a descriptor of several extent kinds reads as
// their concatenation; a descriptor of hundreds of extents holds few files open.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <functional>

#include "image/FileReadSeekVmdk.h"
#include "image/ImageOpener.h"
#include "support/TestSupport.h"

using namespace tavrel;
using namespace tavrel::test;

namespace {

constexpr std::size_t kMiB = 1048576;

std::vector<std::uint8_t> pattern(std::size_t size, int seed) {
    std::vector<std::uint8_t> b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>((i * 7 + static_cast<std::size_t>(seed)) % 251 + 1);
    return b;
}

// qemu-img's VMDK of `disk` in the given subformat, as bytes.
std::vector<std::uint8_t> qemuVmdk(const TempDir& dir, const std::vector<std::uint8_t>& disk, const char* subformat) {
    writeFileBytes(dir / "src.raw", disk);
    const auto out = dir / (std::string(subformat) + ".vmdk");
    const auto r = runCommand("qemu-img convert -f raw -O vmdk -o subformat=" + std::string(subformat) + " " +
                              shellQuote((dir / "src.raw").string()) + " " + shellQuote(out.string()));
    return r.exitCode == 0 ? readFileBytes(out) : std::vector<std::uint8_t>();
}

void put(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v, int width) {
    for (int i = 0; i < width; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// File offset of the first grain table and of grain 0 (through the directory).
std::size_t firstTableAt(const std::vector<std::uint8_t>& b) { return le32(b, le64(b, 0x38) * 512) * std::size_t{512}; }
std::size_t firstGrainAt(const std::vector<std::uint8_t>& b) { return le32(b, firstTableAt(b)) * std::size_t{512}; }

bool allZero(ByteSpan b) { return std::all_of(b.begin(), b.end(), [](std::uint8_t v) { return v == 0; }); }

// A 2 MiB disk: data in the first MiB, nothing in the second.
std::vector<std::uint8_t> halfFullDisk() {
    auto disk = pattern(2 * kMiB, 3);
    std::fill(disk.begin() + kMiB, disk.end(), 0);
    return disk;
}

}  // namespace

TEST(VmdkDamage, BrokenSparseHeaderFieldsFailOpenCleanly) {
    if (!haveTool("qemu-img")) GTEST_SKIP() << "qemu-img not installed";
    TempDir dir;
    const auto good = qemuVmdk(dir, halfFullDisk(), "monolithicSparse");
    ASSERT_FALSE(good.empty());
    struct Case {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&)> damage;
        ImageError error = ImageError::Damaged;
    };
    const std::vector<Case> cases = {
        {"version 9", [](auto& b) { put(b, 0x04, 9, 4); }, ImageError::Unsupported},
        {"capacity zero", [](auto& b) { put(b, 0x0C, 0, 8); }},
        {"capacity huge", [](auto& b) { put(b, 0x0C, ~0ull, 8); }},
        {"grain size zero", [](auto& b) { put(b, 0x14, 0, 8); }},
        {"grain size huge", [](auto& b) { put(b, 0x14, 1ull << 40, 8); }},
        {"tables of no entries", [](auto& b) { put(b, 0x2C, 0, 4); }},
        {"tables of 2^31 entries", [](auto& b) { put(b, 0x2C, 0x80000000u, 4); }},
        {"directory beyond the file", [](auto& b) { put(b, 0x38, 1ull << 40, 8); }},
        {"directory larger than the file", [](auto& b) { put(b, 0x0C, 1ull << 50, 8); put(b, 0x14, 1, 8); }},
        {"no directory at all", [](auto& b) { put(b, 0x30, 0, 8); put(b, 0x38, 0, 8); }},
        {"unknown compression", [](auto& b) { put(b, 0x08, 0x30003, 4); put(b, 0x4D, 7, 2); }, ImageError::Unsupported},
        {"directory at the end without a footer", [](auto& b) { put(b, 0x38, ~0ull, 8); }},
        {"cut inside the directory", [](auto& b) { b.resize(le64(b, 0x38) * 512 + 2); }},
    };
    for (const auto& c : cases) {
        auto bytes = good;
        c.damage(bytes);
        writeFileBytes(dir / "bad.vmdk", bytes);
        FileReadSeekVmdk r;
        EXPECT_FALSE(r.open((dir / "bad.vmdk").string())) << c.what;
        EXPECT_EQ(r.lastError(), kNotVmdkText) << c.what;
        EXPECT_EQ(r.diskSize(), 0) << c.what;
        const OpenedImage opened = openImage((dir / "bad.vmdk").string());
        EXPECT_EQ(opened.error, c.error) << c.what;
        EXPECT_EQ(opened.message, kNotVmdkText) << c.what;
    }
    // Neither the magic nor a descriptor: refused at open, not at every read.
    FileReadSeekVmdk r;
    writeFileBytes(dir / "text.vmdk", std::vector<std::uint8_t>(4096, 'x'));
    EXPECT_FALSE(r.open((dir / "text.vmdk").string()));
    EXPECT_EQ(r.lastError(), kNotVmdkText);
}

TEST(VmdkDamage, DamagedTablesAndGrainsReadAsZerosAndFail) {
    if (!haveTool("qemu-img")) GTEST_SKIP() << "qemu-img not installed";
    TempDir dir;
    const auto disk = halfFullDisk();
    const auto sparse = qemuVmdk(dir, disk, "monolithicSparse");
    const auto stream = qemuVmdk(dir, disk, "streamOptimized");
    ASSERT_FALSE(sparse.empty());
    ASSERT_FALSE(stream.empty());
    struct Case {
        const char* what;
        const std::vector<std::uint8_t>* image;
        std::function<void(std::vector<std::uint8_t>&)> damage;
        bool restReads;  // the table of the whole (small) disk is intact
    };
    const std::vector<Case> cases = {
        {"directory entry beyond the file", &sparse, [](auto& b) { put(b, le64(b, 0x38) * 512, 0x7FFFFFF0, 4); },
         false},
        {"grain beyond the file", &sparse, [](auto& b) { put(b, firstTableAt(b), 0x7FFFFFF0, 4); }, true},
        {"compressed grain garbled", &stream,
         [](auto& b) { std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(firstGrainAt(b) + 12), 64, 0x5A); },
         true},
        {"compressed grain size huge", &stream, [](auto& b) { put(b, firstGrainAt(b) + 8, 0x7FFFFFFF, 4); }, true},
    };
    for (const auto& c : cases) {
        auto bytes = *c.image;
        c.damage(bytes);
        writeFileBytes(dir / "x.vmdk", bytes);
        FileReadSeekVmdk r;
        ASSERT_TRUE(r.open((dir / "x.vmdk").string())) << c.what;
        std::vector<std::uint8_t> buf(65536, 0x55);
        EXPECT_FALSE(r.readAt(0, buf)) << c.what;
        EXPECT_TRUE(allZero(buf)) << c.what;
        // The rest of the disk reads unless its grain table is the damaged one.
        buf.assign(kMiB, 0x55);
        EXPECT_EQ(r.readAt(static_cast<std::int64_t>(kMiB), buf), c.restReads) << c.what;
        EXPECT_TRUE(allZero(buf)) << c.what;
    }
}

TEST(VmdkDamage, DescriptorExtentsStayInsideTheFolder) {
    TempDir dir;
    const auto folder = dir / "image";
    std::filesystem::create_directories(folder);
    writeFileBytes(dir / "outside.raw", pattern(kMiB, 1));
    writeFileBytes(folder / "inside.raw", pattern(kMiB, 1));
    std::filesystem::create_symlink(dir / "outside.raw", folder / "link.raw");
    ASSERT_EQ(::mkfifo((folder / "pipe.raw").c_str(), 0600), 0);
    struct Case {
        const char* what;
        std::string extent;  // the extent line
        std::string text;    // expected refusal
        ImageError error = ImageError::Damaged;
    };
    constexpr auto kMissing = ImageError::MissingCompanion;
    const std::string escape = "\" of this vmdk image lies outside the image's folder.";
    const std::vector<Case> cases = {
        {"parent folder", R"(RW 2048 FLAT "../outside.raw" 0)", "The extent file \"../outside.raw" + escape, kMissing},
        {"dot-dot inside", R"(RW 2048 FLAT "sub/../../outside.raw" 0)",
         "The extent file \"sub/../../outside.raw" + escape, kMissing},
        {"absolute", "RW 2048 FLAT \"" + (dir / "outside.raw").string() + "\" 0",
         "The extent file \"" + (dir / "outside.raw").string() + escape, kMissing},
        {"symbolic link out", R"(RW 2048 FLAT "link.raw" 0)", "The extent file \"link.raw" + escape, kMissing},
        {"missing", R"(RW 2048 FLAT "gone.raw" 0)",
         "The extent file \"gone.raw\" of this vmdk image cannot be found.", kMissing},
        {"named pipe", R"(RW 2048 FLAT "pipe.raw" 0)",
         "The extent file \"pipe.raw\" of this vmdk image is not a regular file.", kMissing},
        {"flat offset past the largest disk", R"(RW 2048 FLAT "inside.raw" 18014398509481983)", kNotVmdkText},
        {"sparse extent that is raw", R"(RW 2048 SPARSE "inside.raw")",
         "The extent file \"inside.raw\" of this vmdk image is damaged."},
        {"unsupported kind", R"(RW 2048 VMFSSPARSE "inside.raw")",
         "This vmdk image uses extents of type VMFSSPARSE, which Tavrel does not read.", ImageError::Unsupported},
        {"no extent", "", kNotVmdkText},
        {"size not a number", R"(RW lots FLAT "inside.raw" 0)", kNotVmdkText},
        {"unclosed quote", R"(RW 2048 FLAT "inside.raw)", kNotVmdkText},
    };
    for (const auto& c : cases) {
        const std::string text = "# Disk DescriptorFile\nversion=1\ncreateType=\"monolithicFlat\"\n"
                                 "# Extent description\n" + c.extent + "\n";
        writeFileBytes(folder / "d.vmdk", std::vector<std::uint8_t>(text.begin(), text.end()));
        const OpenedImage opened = openImage((folder / "d.vmdk").string());
        EXPECT_FALSE(opened) << c.what;
        EXPECT_EQ(opened.error, c.error) << c.what;
        EXPECT_EQ(opened.message, c.text) << c.what;
    }
}

TEST(VmdkDamage, DescriptorOfMixedExtentsReadsAsTheirConcatenation) {
    if (!haveTool("qemu-img")) GTEST_SKIP() << "qemu-img not installed";
    TempDir dir;
    // Flat data after one sector of something else, 64 KiB of ZERO, a sparse
    // extent, and a flat file cut 4 KiB short of its extent.
    const auto flat = pattern(kMiB, 1);
    const auto sparseDisk = pattern(kMiB, 2);
    std::vector<std::uint8_t> flatFile(512, 0xEE);
    flatFile.insert(flatFile.end(), flat.begin(), flat.end());
    writeFileBytes(dir / "flat.bin", flatFile);
    writeFileBytes(dir / "sparse.vmdk", qemuVmdk(dir, sparseDisk, "monolithicSparse"));
    writeFileBytes(dir / "short.bin", std::vector<std::uint8_t>(kMiB - 4096, 0x77));
    const std::string text = "# Disk DescriptorFile\nversion=1\nCID=fffffffe\nparentCID=ffffffff\n"
                             "createType=\"custom\"\n\n# Extent description\n"
                             "RW 2048 FLAT \"flat.bin\" 1\nRW 128 ZERO\nRDONLY 2048 SPARSE \"sparse.vmdk\"\n"
                             "RW 2048 FLAT \"short.bin\" 0\n\n# The Disk Data Base\n#DDB\n"
                             "ddb.geometry.cylinders = \"4\"\nddb.geometry.heads = \"16\"\nddb.geometry.sectors = \"63\"\n";
    writeFileBytes(dir / "d.vmdk", std::vector<std::uint8_t>(text.begin(), text.end()));

    std::vector<std::uint8_t> want = flat;
    want.resize(want.size() + 65536, 0);
    want.insert(want.end(), sparseDisk.begin(), sparseDisk.end());
    const auto shortAt = want.size();
    want.resize(want.size() + kMiB - 4096, 0x77);
    want.resize(want.size() + 4096, 0);

    const OpenedImage opened = openImage((dir / "d.vmdk").string());
    ASSERT_TRUE(opened) << opened.message;
    const readWriteInterface& r = *opened.reader;
    ASSERT_EQ(r.diskSize(), static_cast<std::int64_t>(want.size()));
    std::vector<std::uint8_t> all(want.size());
    EXPECT_FALSE(r.readAt(0, all));  // the cut flat file fails the whole read
    EXPECT_TRUE(all == want);
    std::vector<std::uint8_t> across(3 * 65536);  // flat -> zero -> sparse
    EXPECT_TRUE(r.readAt(static_cast<std::int64_t>(kMiB) - 65536, across));
    EXPECT_TRUE(std::equal(across.begin(), across.end(), want.begin() + kMiB - 65536));
    EXPECT_TRUE(r.readAt(static_cast<std::int64_t>(shortAt), std::span(all).first(kMiB - 4096)));
    EXPECT_TRUE(r.isUnallocated(static_cast<std::int64_t>(kMiB), 65536));
    EXPECT_FALSE(r.isUnallocated(static_cast<std::int64_t>(kMiB) - 512, 1024));

    const ImageInfo info = r.describe();
    EXPECT_EQ(info.format, "vmdk");
    ASSERT_TRUE(info.geometry);
    EXPECT_EQ(info.geometry->cylinders, 4u);
    EXPECT_EQ(info.fields.at(0).value.text, "custom");
    EXPECT_EQ(info.fields.at(1).value.number, 4);
}

TEST(VmdkDamage, HundredsOfExtentsHoldFewFilesOpen) {
    TempDir dir;
    constexpr int kExtents = 300;
    std::string text = "# Disk DescriptorFile\nversion=1\ncreateType=\"twoGbMaxExtentFlat\"\n# Extent description\n";
    std::vector<std::uint8_t> want;
    for (int i = 0; i < kExtents; ++i) {
        const auto sector = pattern(512, i);
        const std::string name = "e" + std::to_string(i) + ".raw";
        writeFileBytes(dir / name, sector);
        want.insert(want.end(), sector.begin(), sector.end());
        text += "RW 1 FLAT \"" + name + "\" 0\n";
    }
    writeFileBytes(dir / "d.vmdk", std::vector<std::uint8_t>(text.begin(), text.end()));
    const auto openFiles = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator{});
    };
    const auto before = openFiles();
    const OpenedImage opened = openImage((dir / "d.vmdk").string());
    ASSERT_TRUE(opened) << opened.message;
    std::vector<std::uint8_t> all(want.size());
    EXPECT_TRUE(opened.reader->readAt(0, all));
    EXPECT_TRUE(all == want);
    EXPECT_LE(openFiles() - before, static_cast<long>(FilePool::kDefaultOpen) + 1);
}
