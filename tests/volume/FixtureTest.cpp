// The standard and the advanced scan, and the export, on real disks: partitions
// made with sfdisk and sgdisk, volumes formatted with mkfs.ntfs, mkfs.vfat,
// mkfs.exfat and mkfs.ext4, stored as dynamic VHD (tests/fixtures/volume).
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>

#include "volume/DiskExport.h"
#include "fs/factory/FsKinds.h"
#include "volume/Partition.h"
#include "volume/ReaderOverlay.h"
#include "volume/RecordingSink.h"
#include "volume/VolumeFixtures.h"

namespace tavrel {
namespace {

using namespace test;

void expectVolumes(const std::vector<VolumeRecord>& got, const std::vector<ExpectedVolume>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE("volume " + std::to_string(i));
        EXPECT_EQ(got[i].volumeName, std::to_string(i));
        EXPECT_EQ(got[i].fsName, want[i].fsName);
        EXPECT_EQ(got[i].sizeMiBText, want[i].sizeText);
        EXPECT_EQ(got[i].startSector, want[i].start);
    }
}

std::vector<std::int64_t> startsOf(const std::vector<VolumeRecord>& records) {
    std::vector<std::int64_t> out;
    for (const auto& r : records) out.push_back(r.startSector);
    return out;
}

// Start sectors of the volumes mmls lists (rows whose slot is a table position,
// not "Meta" or "-------"), leaving out descriptions matching `skip`.
std::vector<std::int64_t> mmlsStarts(const std::filesystem::path& image, const std::string& skip) {
    const auto r = runCommand("mmls -i vhd " + shellQuote(image.string()));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::int64_t> starts;
    std::istringstream lines(r.out);
    std::string line;
    const std::regex row(R"(^\d+:\s+(\d+(:\d+)?)\s+(\d+)\s+(\d+)\s+(\d+)\s+(.*)$)");
    std::smatch m;
    while (std::getline(lines, line)) {
        if (!std::regex_match(line, m, row)) continue;
        if (!skip.empty() && m[6].str().find(skip) != std::string::npos) continue;
        starts.push_back(std::stoll(m[3].str()));
    }
    return starts;
}

TEST(VolumeFixtures, MbrStandardScan) {
    auto reader = openFixture("mbr.vhd");
    ASSERT_TRUE(reader);
    EXPECT_FALSE(hasGptHeader(*reader));
    RecordingSink sink;
    WorkControl work(&sink);
    const auto records = Partition(*reader, fs::fsProbes()).standardScan(false, work);
    expectVolumes(records, kMbrVolumes);
    // Sizes come from the table: the logical NTFS volume is 8 MiB of sectors.
    EXPECT_EQ(records[5].sectorCount, 16384);
    EXPECT_TRUE(sink.saw("found FAT 32..."));
    EXPECT_TRUE(sink.saw("found NTFS 1..."));
    EXPECT_TRUE(sink.saw("found FAT64..."));
    EXPECT_TRUE(sink.saw("found extx..."));
    EXPECT_TRUE(sink.saw("found NTFS..."));
}

TEST(VolumeFixtures, MbrMatchesMmls) {
    if (!haveTool("mmls")) GTEST_SKIP() << "mmls (sleuthkit) not installed";
    auto reader = openFixture("mbr.vhd");
    ASSERT_TRUE(reader);
    EXPECT_EQ(startsOf(Partition(*reader, fs::fsProbes()).standardScan(false)), mmlsStarts(fixtureVhd("mbr.vhd"), ""));
}

TEST(VolumeFixtures, GptStandardScan) {
    auto reader = openFixture("gpt.vhd");
    ASSERT_TRUE(reader);
    EXPECT_TRUE(hasGptHeader(*reader));
    const auto records = Partition(*reader, fs::fsProbes()).standardScan(true);
    expectVolumes(records, kGptVolumes);
    EXPECT_EQ(records[0].sectorCount, 32768);  // from the entry: first to last LBA
    // Without the GPT option the protective MBR gives one "Unknown" volume.
    const auto mbr = Partition(*reader, fs::fsProbes()).standardScan(false);
    ASSERT_EQ(mbr.size(), 1u);
    EXPECT_EQ(mbr[0].fsName, "Unknown");
    EXPECT_EQ(mbr[0].startSector, 1);
}

TEST(VolumeFixtures, GptMatchesMmls) {
    if (!haveTool("mmls")) GTEST_SKIP() << "mmls (sleuthkit) not installed";
    auto reader = openFixture("gpt.vhd");
    ASSERT_TRUE(reader);
    const auto starts = mmlsStarts(fixtureVhd("gpt.vhd"), "Microsoft reserved partition");
    EXPECT_EQ(startsOf(Partition(*reader, fs::fsProbes()).standardScan(true)), starts);
    // The reserved partition is there for mmls, and left out by the scan.
    EXPECT_EQ(mmlsStarts(fixtureVhd("gpt.vhd"), "").size(), starts.size() + 1);
}

TEST(VolumeFixtures, AdvancedScanOfMbrDiskWithTablesZeroed) {
    auto vhd = openFixture("mbr.vhd");
    ASSERT_TRUE(vhd);
    std::set<std::int64_t> tables(kMbrExtendedRecords.begin(), kMbrExtendedRecords.end());
    tables.insert(0);
    const ZeroedSectors reader(*vhd, tables);
    EXPECT_TRUE(Partition(reader, fs::fsProbes()).standardScan(false).empty());
    RecordingSink sink;
    WorkControl work(&sink);
    const auto records = Partition(reader, fs::fsProbes()).advancedScan(work, false);
    // The same volumes but the ext4 one, which has no boot record to find.
    expectVolumes(records, {{"FAT32", "34  MB", 2048},
                            {"NTFS", "15   MB", 71680},
                            {"FAT64", "8  MB", 104448},
                            {"FAT16", "16  MB", 122880},
                            {"NTFS", "7   MB", 176128}});
    EXPECT_EQ(records[1].sectorCount, 32768);  // the NTFS volume with its backup boot sector
    EXPECT_TRUE(sink.saw("found NTFS 2..."));
    EXPECT_TRUE(sink.saw("found FAT 16..."));
    EXPECT_EQ(sink.positions.back(), 1000);
}

TEST(VolumeFixtures, AdvancedScanWithoutSkipPassesOverBackupBootSectors) {
    auto reader = openFixture("mbr.vhd");
    ASSERT_TRUE(reader);
    WorkControl work;
    const auto records = Partition(*reader, fs::fsProbes()).advancedScan(work, true, 0, 71679);
    // The FAT32 volume; its backup boot sector (sector 6 of the volume) is not another.
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].startSector, 2048);
    EXPECT_EQ(records[0].fsName, "FAT32");
}

// A FAT32 and an exFAT volume whose first sectors are zeroed are named by their
// backup boot records (FAT32: sector 6; exFAT: the boot region from sector 12),
// by the partition tables and by the boot-record scan, as when they were intact.
TEST(VolumeFixtures, ZeroedBootSectorsAreReadFromTheirBackups) {
    const struct {
        const char* image;
        bool gpt;
        const std::vector<ExpectedVolume>& standard;
        std::set<std::int64_t> zeroed;  // the FAT32 and exFAT volumes' first sectors
    } cases[] = {{"mbr.vhd", false, kMbrVolumes, {2048, 104448}}, {"gpt.vhd", true, kGptVolumes, {43008, 145408}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.image);
        auto vhd = openFixture(c.image);
        ASSERT_TRUE(vhd);
        const ZeroedSectors reader(*vhd, c.zeroed);
        expectVolumes(Partition(reader, fs::fsProbes()).standardScan(c.gpt), c.standard);
        WorkControl work;
        const auto intact = Partition(*vhd, fs::fsProbes()).advancedScan(work, false);
        const auto damaged = Partition(reader, fs::fsProbes()).advancedScan(work, false);
        ASSERT_EQ(damaged.size(), intact.size());
        for (std::size_t i = 0; i < intact.size(); ++i) {
            EXPECT_EQ(damaged[i].fsName, intact[i].fsName) << i;
            EXPECT_EQ(damaged[i].startSector, intact[i].startSector) << i;
            EXPECT_EQ(damaged[i].sectorCount, intact[i].sectorCount) << i;
        }
    }
}

TEST(VolumeFixtures, AdvancedScanOfGptDiskWithTablesZeroed) {
    auto vhd = openFixture("gpt.vhd");
    ASSERT_TRUE(vhd);
    std::set<std::int64_t> tables;
    for (std::int64_t s = 0; s < 34; ++s) tables.insert(s);
    const ZeroedSectors reader(*vhd, tables);
    EXPECT_TRUE(Partition(reader, fs::fsProbes()).standardScan(true).empty());
    WorkControl work;
    const auto records = Partition(reader, fs::fsProbes()).advancedScan(work, false);
    expectVolumes(records, {{"NTFS", "15   MB", 10240},
                            {"FAT32", "34  MB", 43008},
                            {"FAT16", "16  MB", 112640},
                            {"FAT64", "8  MB", 145408},
                            {"HFS+", "3  MB", 178176}});
}

TEST(VolumeFixtures, ExportEqualsQemuImgConvert) {
    if (!haveTool("qemu-img")) GTEST_SKIP() << "qemu-img not installed";
    for (const char* name : {"mbr.vhd", "gpt.vhd"}) {
        SCOPED_TRACE(name);
        TempDir dir;
        auto reader = openFixture(name);
        ASSERT_TRUE(reader);
        const std::string out = DiskExport::outputPathFor(fixtureVhd(name).string(), dir.path().string());
        EXPECT_EQ(std::filesystem::path(out).filename(), std::string(name) + ".img");
        WorkControl work;
        const auto outcome = DiskExport().run(*reader, out, work);
        ASSERT_TRUE(outcome.ok()) << outcome.message;
        const auto peer = dir / "peer.raw";
        const auto r = runCommand("qemu-img convert -f vpc -O raw " + shellQuote(fixtureVhd(name).string()) + " " +
                                  shellQuote(peer.string()));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(std::filesystem::file_size(out), std::filesystem::file_size(peer));
        EXPECT_EQ(runCommand("cmp " + shellQuote(out) + " " + shellQuote(peer.string())).exitCode, 0);
    }
}

}  // namespace
}  // namespace tavrel
