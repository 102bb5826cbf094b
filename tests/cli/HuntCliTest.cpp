// tavrel-cli hunt and the Advanced mode of ls/recover, on a raw NTFS volume that
// mkntfs formatted over an older one with another cluster size: the hunt lists
// both MFTs, and recovering from either gives back the files that were copied
// into that format, checked by their hashes. Then FAT32 and exFAT fixtures whose
// boot sectors were zeroed: the FATs (and heap) fsstat reports are listed, and
// recovering from the first candidate gives back the original files.
#include <gtest/gtest.h>

#include <random>

#include "cli/CliHelpers.h"
#include "support/DamagedFatFixture.h"

using namespace tavrel::test;

TEST(HuntCli, ListsEveryMftAndRecoversFromTheChosenOne) {
    TempDir dir;
    std::mt19937 random(11);
    for (const auto& [name, size] : {std::pair{"old.bin", 120000}, std::pair{"new.bin", 30000}}) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
        for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
        writeFileBytes(dir / name, bytes);
    }
    const auto image = dir / "volume.img";
    if (!makeReformattedNtfs(image, {{dir / "old.bin", "old.bin"}}, {{dir / "new.bin", "new.bin"}}))
        GTEST_SKIP() << "mkntfs and ntfscp are needed";
    const std::string volume = q(image) + " --start 0 --end 32767 --treat-as NTFS";

    const auto hunt = cli("hunt " + volume + " --json");
    ASSERT_EQ(hunt.exitCode, 0) << hunt.err;
    const auto found = jsonLines(hunt.out);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].at("item"), "MFT_ENTRY:0");
    EXPECT_EQ(found[0].at("offset"), 16384);
    EXPECT_EQ(found[1].at("offset"), 131072);
    EXPECT_EQ(found[1].at("cluster_size"), 65536);
    EXPECT_EQ(cli("hunt " + volume + " --max 1").out, "MFT_ENTRY:0 16384 4096\n");

    const struct {
        int candidate;
        const char *kept, *gone;
    } cases[] = {{0, "new.bin", "old.bin"}, {1, "old.bin", "new.bin"}};
    for (const auto& c : cases) {
        TempDir out;
        const auto r = cli("recover " + volume + " --mode advanced --candidate " + std::to_string(c.candidate) +
                           " --out " + q(out.path()));
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const auto hashes = hashesBelow(out.path());
        EXPECT_EQ(hashes.count(c.gone), 0u);
        ASSERT_EQ(hashes.count(c.kept), 1u) << c.kept;
        EXPECT_EQ(hashes.at(c.kept), sha256File(dir / c.kept));
    }
    const auto beyond = cli("ls " + volume + " --mode advanced --candidate 5");
    EXPECT_EQ(beyond.exitCode, 2);
    EXPECT_NE(beyond.err.find("no candidate 5 (2 found"), std::string::npos) << beyond.err;
    EXPECT_EQ(cli("ls " + volume + " --candidate 1").exitCode, 2);  // needs --mode advanced
}

TEST(HuntCli, FatVolumesWithoutBootSectorAreHuntedAndRecovered) {
    const struct {
        const char *fixture, *kind, *choice;
    } cases[] = {{"fat32-512", "FAT32", "--sectors-per-cluster 1"}, {"exfat", "FAT64", "--heap 0"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture);
        TempDir dir;
        const DamagedFatDisk disk = damagedFatDisk(c.fixture, dir);
        if (disk.raw.empty()) GTEST_SKIP() << "qemu-img and fsstat are needed";
        const std::string volume = q(disk.raw) + " --start 2048 --end " +
                                   std::to_string(kDamagedVolumeSector + disk.volumeSectors - 1) + " --treat-as " +
                                   c.kind;
        const auto hunt = cli("hunt " + volume + " --json");
        ASSERT_EQ(hunt.exitCode, 0) << hunt.err;
        std::vector<std::int64_t> fats, heaps;
        for (const auto& line : jsonLines(hunt.out))
            (line.contains("heap") ? heaps : fats).push_back(line.at("offset").get<std::int64_t>());
        EXPECT_EQ(fats, disk.fats);
        if (std::string(c.kind) == "FAT64") {
            ASSERT_FALSE(heaps.empty());
            EXPECT_EQ(heaps.front(), disk.heapOffset);
            EXPECT_NE(cli("ls " + volume + " --mode advanced --heap 7").err.find("no heap offset 7"), std::string::npos);
        }
        TempDir out;
        const auto r = cli("recover " + volume + " --mode advanced --candidate 0 " + c.choice + " --out " + q(out.path()));
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const auto hashes = hashesBelow(out.path());
        for (const auto& [path, sha] : disk.originals)
            EXPECT_EQ(hashes.count(path) ? hashes.at(path) : "missing", sha) << path;
    }
}
