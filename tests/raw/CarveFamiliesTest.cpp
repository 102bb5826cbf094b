// The families with a structure walk, from samples made by each family's own
// tools (tests/fixtures/carve/make-samples.sh): carved by tavrel-cli from a real
// FAT volume (mkfs.fat, filled by mcopy) byte for byte (SHA-256 of every written
// file against the samples), and walked in memory whole amid other data (exact
// end), cut short, damaged and bounded by a small limit (no crash, no reach past
// the range).
#include <gtest/gtest.h>

#include <map>

#include "cli/CliHelpers.h"
#include "image/MemoryImage.h"
#include "raw/FormatWalk.h"
#include "support/CarveFiles.h"

namespace tavrel::test {
namespace {

namespace fsys = std::filesystem;

struct Sample {
    const char* file;
    const char* carvedAs;  // the extension the default rules give it
};

constexpr Sample kSamples[] = {
    {"tone.ogg", "ogg"},     {"tone.flac", "flac"},      {"tone.wav", "wav"},       {"clip.mp4", "mp4"},
    {"clip.mov", "mov"},     {"clip.avi", "avi"},        {"clip.mpg", "mpg"},       {"clip.mkv", "mkv"},
    {"clip.webm", "webm"},   {"pic.bmp", "bmp"},         {"pic-le.tif", "tif"},     {"pic-be.tif", "tif"},
    {"pic.webp", "webp"},    {"data.sqlite", "db"},      {"doc.doc", "doc"},        {"numbers.gz", "gz"},
    {"numbers.bz2", "bz2"},  {"numbers.xz", "xz"},       {"numbers.7z", "7z"},      {"hello.elf", "elf"},
    {"hello.exe", "exe"},    {"list.sh", "sh"},           {"letter.pdf", "pdf"},
};

fsys::path sample(const char* name) { return fixturePath("carve/samples/" + std::string(name)); }

TEST(CarveFamilies, SamplesOfRealToolsComeOutExactly) {
    for (const char* tool : {"mkfs.fat", "mcopy"})
        if (!haveTool(tool)) GTEST_SKIP() << tool << " missing";
    TempDir dir;
    std::multimap<std::string, std::string> expected;  // extension -> SHA-256
    std::string files;
    for (const Sample& s : kSamples) {
        expected.emplace(s.carvedAs, sha256File(sample(s.file)));
        files += " " + q(sample(s.file));
    }
    // FAT16 of 16 MiB with 2 KiB clusters, written in one go: every file in one piece.
    const fsys::path volume = dir / "volume.img";
    const auto formatted = runCommand("mkfs.fat -F 16 -s 4 -C " + q(volume) +
                                      " 16384 >/dev/null && MTOOLS_SKIP_CHECK=1 mcopy -i " + q(volume) + files + " ::/");
    ASSERT_EQ(formatted.exitCode, 0) << formatted.err;
    writeFileBytes(dir / "disk.img", diskWithPartition(readFileBytes(volume), 2048));

    EXPECT_EQ(carvedHashes(dir / "disk.img", dir / "out"), expected);
}

TEST(CarveFamilies, WalksEndExactlyAndStayInBoundsOnCutOrDamagedSamples) {
    enum class Change { None, CutInHalf, EveryThirteenth, Header };
    struct Variant {
        const char* name;
        Change change;
        bool limited;  // bounded by a limit of a third of the sample
    };
    constexpr Variant kVariants[] = {{"whole", Change::None, false},
                                     {"whole, limit a third", Change::None, true},
                                     {"cut in half", Change::CutInHalf, false},
                                     {"every 13th byte flipped", Change::EveryThirteenth, false},
                                     {"header bytes 4..40 flipped", Change::Header, false}};
    for (const Sample& s : kSamples) {
        if (!raw::hasStructureWalk(s.carvedAs)) continue;  // SQLite: the header's stated length
        const Bytes original = readFileBytes(sample(s.file));
        const auto size = static_cast<std::int64_t>(original.size());
        for (const Variant& v : kVariants) {
            SCOPED_TRACE(std::string(s.file) + ": " + v.name);
            Bytes file = original;
            if (v.change == Change::CutInHalf) file.resize(file.size() / 2);
            for (std::size_t i = 0; i < file.size(); ++i)
                if ((v.change == Change::EveryThirteenth && i % 13 == 12) ||
                    (v.change == Change::Header && i >= 4 && i < 40))
                    file[i] ^= 0xFF;
            // Other data after the file: a byte that is no text, then noise.
            Bytes volume(512, 0);
            volume.insert(volume.end(), file.begin(), file.end());
            volume.push_back(0xFF);
            std::uint32_t x = 12345;
            for (int i = 0; i < 65536; ++i) {
                x = x * 1103515245 + 12345;
                volume.push_back(static_cast<std::uint8_t>(x >> 16));
            }
            MemoryImage image(volume);
            const std::int64_t limit = v.limited ? size / 3 : 0;
            const auto walked = raw::walkStructure(s.carvedAs, VolumeView(image, 0), 512, limit);
            ASSERT_TRUE(walked.has_value());
            EXPECT_GE(walked->length, 0);
            EXPECT_LE(walked->length, limit > 0 ? limit : static_cast<std::int64_t>(volume.size()) - 512);
            if (v.change == Change::None && !v.limited) {
                EXPECT_EQ(walked->end, raw::WalkEnd::Complete);
                EXPECT_EQ(walked->length, size);
            }
            if (v.limited) {
                EXPECT_NE(walked->end, raw::WalkEnd::Complete);
            }
        }
    }
}

}  // namespace
}  // namespace tavrel::test
