// The FAT-copy hunt on the committed FAT12, FAT16, FAT32 and exFAT fixtures: the
// sectors found are the first sectors of the FATs that The Sleuth Kit's fsstat
// reports for the same volume.
#include <gtest/gtest.h>

#include <regex>

#include "fs/fat/FatHunt.h"
#include "image/FileReadSeekVHD.h"
#include "support/TestSupport.h"

using namespace tavrel;
using namespace tavrel::fs::fat;

namespace {

constexpr std::int64_t kVolumeSector = 2048;

// Byte offsets in the volume of each "* FAT n: first - last" fsstat lists.
std::vector<std::int64_t> fsstatFats(const std::filesystem::path& vhd, const test::TempDir& dir) {
    const auto raw = dir / "disk.raw";
    if (test::runCommand("qemu-img convert -O raw " + test::shellQuote(vhd.string()) + " " +
                         test::shellQuote(raw.string()))
            .exitCode != 0)
        return {};
    const auto r = test::runCommand("fsstat -o " + std::to_string(kVolumeSector) + " " + test::shellQuote(raw.string()));
    std::vector<std::int64_t> offsets;
    const std::regex line(R"(\* FAT \d+: (\d+) - \d+)");
    for (auto it = std::sregex_iterator(r.out.begin(), r.out.end(), line); it != std::sregex_iterator(); ++it)
        offsets.push_back(std::stoll((*it)[1]) * 512);
    return offsets;
}

}  // namespace

TEST(FatHunt, FindsTheFatsTheOracleReports) {
    if (!test::haveTool("fsstat") || !test::haveTool("qemu-img")) GTEST_SKIP() << "fsstat and qemu-img are needed";
    const struct {
        const char* fixture;
        FatHuntKind kind;
    } cases[] = {{"fat12", FatHuntKind::Fat16},
                 {"fat16", FatHuntKind::Fat16},
                 {"fat32-512", FatHuntKind::Fat32},
                 {"exfat", FatHuntKind::ExFat}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture);
        test::TempDir dir;
        const auto vhdPath = test::unpackedFixture(std::string("fat/") + c.fixture + ".vhd.xz");
        const auto expected = fsstatFats(vhdPath, dir);
        ASSERT_FALSE(expected.empty());
        FileReadSeekVHD vhd;
        ASSERT_TRUE(vhd.open(vhdPath.string()));
        const VolumeView volume(vhd, kVolumeSector);
        FatHuntLimits limits;
        limits.maximum = static_cast<int>(expected.size());
        WorkControl work;
        fs::Warnings warnings;
        EXPECT_EQ(huntFatCopies(volume, c.kind, limits, work, warnings).fats, expected);
    }
}

TEST(FatHunt, Fat32TakesEntryOneInEitherWidth) {
    std::vector<std::uint8_t> sector(512);
    const std::uint8_t head[] = {0xF8, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF, 0xFF, 0x0F};
    std::copy(std::begin(head), std::end(head), sector.begin());
    EXPECT_TRUE(startsFat(FatHuntKind::Fat32, sector));
    EXPECT_FALSE(startsFat(FatHuntKind::ExFat, sector));
    sector[7] = 0xFF;
    EXPECT_TRUE(startsFat(FatHuntKind::Fat32, sector));
    sector[3] = 0xFF;
    EXPECT_FALSE(startsFat(FatHuntKind::Fat32, sector));
    EXPECT_TRUE(startsFat(FatHuntKind::ExFat, sector));
}

TEST(FatHunt, Fat12ByItsOwnLayout) {
    // As mkfs.fat and mtools write it: F8 FF FF, then chains 2->3->4->end,
    // 5->end, 6 free, 7->end.
    std::vector<std::uint8_t> sector(512);
    const auto put12 = [&sector](std::uint32_t n, std::uint32_t v) {
        const std::size_t at = n * 3 / 2;
        if (n % 2 == 0) {
            sector[at] = static_cast<std::uint8_t>(v);
            sector[at + 1] = static_cast<std::uint8_t>((sector[at + 1] & 0xF0) | (v >> 8));
        } else {
            sector[at] = static_cast<std::uint8_t>((sector[at] & 0x0F) | ((v & 0x0F) << 4));
            sector[at + 1] = static_cast<std::uint8_t>(v >> 4);
        }
    };
    const auto with = [&](std::uint32_t n, std::uint32_t v) {
        auto saved = sector;
        put12(n, v);
        const bool taken = startsFat(FatHuntKind::Fat16, sector);
        sector = saved;
        return taken;
    };
    for (const auto& [n, v] : std::vector<std::pair<std::uint32_t, std::uint32_t>>{
             {0, 0xFF8}, {1, 0xFFF}, {2, 3}, {3, 4}, {4, 0xFFF}, {5, 0xFFF}, {7, 0xFFF}})
        put12(n, v);
    EXPECT_TRUE(startsFat12(sector));
    EXPECT_TRUE(startsFat(FatHuntKind::Fat16, sector));
    EXPECT_FALSE(startsFat(FatHuntKind::Fat32, sector));
    EXPECT_TRUE(with(0, 0xFF0));    // a floppy's media byte
    EXPECT_FALSE(with(0, 0xF00));   // no media byte
    EXPECT_FALSE(with(6, 6));       // a cluster naming itself
    EXPECT_FALSE(with(6, 4));       // two clusters naming one
    EXPECT_FALSE(with(6, 1));       // no cluster 1
    EXPECT_FALSE(with(6, 0xFF3));   // reserved values
    std::fill(sector.begin() + 3, sector.end(), 0xFF);
    EXPECT_FALSE(startsFat12(sector));  // all end marks: a sector of 0xFF bytes
}
