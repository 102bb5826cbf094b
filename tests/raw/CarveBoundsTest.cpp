// Carving bounded by the volume, against hostile rules and volumes: approximate
// sizes are cut at the next found file, nothing runs past the stored data,
// chained JPEG headers cost a bounded number of reads per byte, skip and
// approximate sizes near INT64_MAX do not overflow, and files whose structure
// breaks off are kept, marked partial.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "image/ImageOpener.h"
#include "image/MemoryImage.h"
#include "raw/RuleFile.h"
#include "raw/myJpg.h"
#include "support/CarveFiles.h"
#include "support/FaultyReader.h"
#include "support/TestSupport.h"
#include "support/VhdBuilder.h"

namespace tavrel::test {
namespace {

constexpr std::int64_t kMiB = 1048576;
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

raw::SignatureRule rule(const char* extension, Bytes start, Bytes end, std::int64_t approx, std::int64_t skip = 0) {
    raw::SignatureRule r;
    r.extension = extension;
    r.start = std::move(start);
    r.end = std::move(end);
    r.approxSize = approx;
    r.skipSize = skip;
    return r;
}

std::vector<raw::FoundFile> carve(const VolumeView& view, const raw::SignatureRule& r) {
    raw::myJpg engine;
    engine.rules().push_back(r);
    WorkControl work;
    EXPECT_EQ(engine.carve(view, work), raw::CarveResult::Done);
    return engine.found();
}

std::int64_t total(const std::vector<raw::FoundFile>& found) {
    std::int64_t sum = 0;
    for (const auto& f : found) sum += f.length;
    return sum;
}

// Starts every `every` bytes (or once, at sector 8, when every is 0) of a volume.
Bytes withStarts(std::int64_t size, std::int64_t every, const Bytes& start) {
    Bytes b(static_cast<std::size_t>(size), 0);
    for (std::int64_t at = every ? 0 : 4096; at < size; at += every ? every : size)
        std::copy(start.begin(), start.end(), b.begin() + at);
    return b;
}

TEST(CarveBounds, ApproximateSizesAreCutAtTheNextFoundFile) {
    struct Row {
        const char* name;
        raw::SignatureRule rule;
        std::int64_t every;
        std::size_t files;
        std::int64_t bytes;  // of all found files together
    };
    const std::int64_t size = 16 * kMiB;
    const Row rows[] = {
        // Every sector matches: one sector each, the volume in all.
        {"wildcards only", rule("bin", {0x2A, 0x2A}, {}, 16 * kMiB), 0, 32768, size},
        {"4096 starts, no end signature found", rule("bin", {0xAB, 0xCD}, {0xEE, 0xFF}, kMax), 4096, 4096, size},
        {"4096 starts, no end signature", rule("bin", {0xAB, 0xCD}, {}, 50 * kMiB), 4096, 4096, size},
        {"one start keeps its approximate size", rule("bin", {0xAB, 0xCD}, {}, 2 * kMiB), 0, 1, 2 * kMiB},
        {"one start, approximate size past the volume", rule("bin", {0xAB, 0xCD}, {}, kMax), 0, 1, size - 4096},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MemoryImage image(withStarts(size, row.every, {0xAB, 0xCD}));
        const auto found = carve(VolumeView(image, 0), row.rule);
        EXPECT_EQ(found.size(), row.files);
        EXPECT_EQ(total(found), row.bytes);
    }
}

// A dynamic VHD that stores its first 2 MiB block only: a start there with a
// huge approximate size ends where the stored data ends.
TEST(CarveBounds, NothingRunsPastTheStoredData) {
    TempDir dir;
    VhdSpec spec;
    spec.diskBytes = 64 * kMiB;
    spec.sectors[8] = Bytes(512, 0);
    spec.sectors[8][0] = 0xAB;
    spec.sectors[8][1] = 0xCD;
    spec.sectors[4095] = Bytes(512, 0x11);
    writeDynamicVhd(dir / "disk.vhd", spec);
    const OpenedImage opened = openImage((dir / "disk.vhd").string());
    ASSERT_TRUE(opened) << opened.message;
    const auto found = carve(VolumeView(*opened.reader, 0), rule("bin", {0xAB, 0xCD}, {}, kMax));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].length, 2 * kMiB - 4096);
}

// Every sector starts a JPEG whose APP1 segment runs into the next sector's,
// so each start's structure chains on to the volume's end: the work (bytes
// read) and the output stay within a few times the volume.
TEST(CarveBounds, ChainedJpegHeadersAreWalkedABoundedNumberOfTimes) {
    const std::int64_t size = 4 * kMiB;
    Bytes volume(static_cast<std::size_t>(size), 0x11);
    for (std::int64_t at = 0; at < size; at += 512) {
        // SOI, then APP1 of 510 bytes: the next marker lies 2 bytes into the next sector.
        const Bytes head = {0xFF, 0xD8, 0xFF, 0xE1, 0x01, 0xFE};
        std::copy(head.begin(), head.end(), volume.begin() + at);
    }
    MemoryImage image(volume);
    LoggingReader reader(image);
    const auto found = carve(VolumeView(reader, 0), rule("jpg", {0xFF, 0xD8, 0xFF}, {0xFF, 0xD9}, 50 * kMiB));
    constexpr auto kWalks = static_cast<std::int64_t>(raw::myJpg::kWalksPerByte);
    EXPECT_EQ(found.size(), static_cast<std::size_t>(size / 512));
    EXPECT_LE(reader.bytesRead(), (kWalks + 1) * size);
    EXPECT_LE(total(found), (kWalks + 1) * size);
    for (const auto& f : found) EXPECT_TRUE(f.partial);
}

// Sizes near INT64_MAX from a rule file: a skip passes the volume's end (so one
// file only), an approximate size is the volume's room.
TEST(CarveBounds, SizesNearTheLargestNumberDoNotOverflow) {
    struct Row {
        const char* name;
        raw::SignatureRule rule;
        Bytes placed;  // at sector 8 and at sector 4096
        std::size_t files;
    };
    const Bytes jpeg = makeJpeg(3000, 2);
    Bytes startAndEnd(1024, 0x11);
    startAndEnd[0] = 0xAB;
    startAndEnd[1] = 0xCD;
    startAndEnd[512] = 0xEE;
    startAndEnd[513] = 0xFF;
    const Row rows[] = {
        {"skip without end signature", rule("bin", {0xAB, 0xCD}, {}, 4096, kMax), {0xAB, 0xCD}, 1},
        {"skip after an end signature", rule("bin", {0xAB, 0xCD}, {0xEE, 0xFF}, 0, kMax), startAndEnd, 1},
        {"skip just short of the largest", rule("bin", {0xAB, 0xCD}, {}, 4096, kMax - 1000), {0xAB, 0xCD}, 1},
        {"walked kind, approximate size the largest", rule("jpg", {0xFF, 0xD8, 0xFF}, {}, kMax), jpeg, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Bytes volume(4 * kMiB, 0);
        for (const std::size_t at : {std::size_t{4096}, std::size_t{2 * kMiB}})
            std::copy(row.placed.begin(), row.placed.end(), volume.begin() + static_cast<std::ptrdiff_t>(at));
        MemoryImage image(volume);
        const auto found = carve(VolumeView(image, 0), row.rule);
        EXPECT_EQ(found.size(), row.files);
        for (const auto& f : found) EXPECT_FALSE(f.partial);
    }
}

// Files whose structure breaks off are kept and marked partial: cut short with
// zeros following, at the last valid point; damaged, with the approximate size.
TEST(CarveBounds, BrokenStructuresAreKeptAsPartial) {
    struct Row {
        const char* name;
        const char* extension;
        Bytes start;
        Bytes file;
        std::int64_t length;
        bool partial;
    };
    const Bytes jpeg = makeJpeg(70000, 4);
    const Bytes png = makePng(30000, 5);
    const Bytes mp3 = makeMp3(20, 6);
    const Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2,
                       0x44, 0x01, 0};
    Bytes lyingApp0 = jpeg;
    lyingApp0[5] = 0x30;
    const auto head = [](const Bytes& b, std::size_t n) { return Bytes(b.begin(), b.begin() + n); };
    const auto len = [](const Bytes& b) { return static_cast<std::int64_t>(b.size()); };
    const Bytes jpegStart = {0xFF, 0xD8, 0xFF}, pngStart = {0x89, 'P', 'N', 'G'}, gifStart = {'G', 'I', 'F', '8'},
                mp3Start = {'I', 'D', '3'};
    // Where the data stops when only zeros follow the first n bytes.
    const auto dataEnd = [&](std::size_t n) {
        while (jpeg[n - 1] == 0) --n;
        return n;
    };
    const std::size_t cut = dataEnd(60000), noEnd = dataEnd(jpeg.size() - 2);
    const Row rows[] = {
        {"whole jpeg", "jpg", jpegStart, jpeg, len(jpeg), false},
        {"jpeg, its first 60,000 bytes", "jpg", jpegStart, head(jpeg, cut), static_cast<std::int64_t>(cut), true},
        {"jpeg without its end marker", "jpg", jpegStart, head(jpeg, noEnd), static_cast<std::int64_t>(noEnd), true},
        {"jpeg whose APP0 length lies", "jpg", jpegStart, lyingApp0, kMiB, true},
        {"png without IEND", "png", pngStart, head(png, png.size() - 12), len(png) - 12, true},
        {"gif without trailer", "gif", gifStart, gif, len(gif), true},
        {"mp3 tag without frames", "mp3", mp3Start, head(mp3, 332), 332, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Bytes volume(4 * kMiB, 0);
        std::copy(row.file.begin(), row.file.end(), volume.begin() + 4096);
        MemoryImage image(volume);
        const auto found = carve(VolumeView(image, 0), rule(row.extension, row.start, {}, kMiB));
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].start, 4096);
        EXPECT_EQ(found[0].length, row.length);
        EXPECT_EQ(found[0].partial, row.partial);
    }
}

}  // namespace
}  // namespace tavrel::test
