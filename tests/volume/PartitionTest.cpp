#include "volume/Partition.h"

#include <gtest/gtest.h>

#include <atomic>

#include "fs/factory/FsKinds.h"
#include "volume/RecordingSink.h"
#include "volume/MemoryDisk.h"
#include "image/FileReadSeekVHD.h"
#include "support/FaultyReader.h"
#include "support/TestSupport.h"
#include "support/VhdBuilder.h"

namespace tavrel {
namespace {

using test::RecordingSink;
using test::MemoryDisk;
using test::LoggingReader;
using test::TempDir;
using test::VhdSpec;
using test::writeVhd;

// ---- MBR and the extended chain ------------------------------------------

TEST(PartitionMbr, OneNtfsPartition) {
    MemoryDisk disk(210000);
    disk.tableEntry(0, 0, 0x07, 2048, 204800);
    disk.ntfsBoot(2048, 204799);
    const MemoryImage image = disk.image();
    RecordingSink sink;
    WorkControl work(&sink);
    const auto records = Partition(image, fs::fsProbes()).standardScan(false, work);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].fsName, "NTFS");
    EXPECT_EQ(records[0].volumeName, "0");
    EXPECT_EQ(records[0].sizeMiBText, "100   MB");
    EXPECT_EQ(records[0].startSector, 2048);
    EXPECT_EQ(records[0].sectorCount, 204800);
    EXPECT_TRUE(sink.saw("found NTFS 1..."));
    ASSERT_FALSE(sink.positions.empty());
    EXPECT_EQ(sink.positions.back(), 1000);
}

TEST(PartitionMbr, EmptyFirstEntryEndsTheWalk) {
    MemoryDisk disk(8192);
    disk.tableEntry(0, 1, 0x0C, 2048, 4096);
    disk.tableEntry(0, 2, 0x83, 6144, 2048);
    const MemoryImage image = disk.image();
    EXPECT_TRUE(Partition(image, fs::fsProbes()).standardScan(false).empty());
}

TEST(PartitionMbr, NamesByType) {
    MemoryDisk disk(40000);
    disk.tableEntry(0, 0, 0x01, 100, 4096);
    disk.tableEntry(0, 1, 0x0E, 5000, 6144);
    disk.tableEntry(0, 2, 0x42, 12000, 8192);
    disk.tableEntry(0, 3, 0xA5, 21000, 2047);
    const MemoryImage image = disk.image();
    RecordingSink sink;
    WorkControl work(&sink);
    const auto r = Partition(image, fs::fsProbes()).standardScan(false, work);
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].fsName, "FAT12");
    EXPECT_EQ(r[0].sizeMiBText, "2   MB");
    EXPECT_EQ(r[1].fsName, "FAT16");
    EXPECT_EQ(r[2].fsName, "NTFS");
    EXPECT_EQ(r[3].fsName, "Unknown");
    EXPECT_EQ(r[3].sizeMiBText, "0   MB");
    EXPECT_EQ(r[3].volumeName, "3");
    EXPECT_TRUE(sink.saw("NTFS..."));
    EXPECT_TRUE(sink.saw("found UNKNOWN..."));
}

TEST(PartitionMbr, ExfatBehindType07OrTheLinuxType) {
    for (const std::uint8_t type : {0x07, 0x83}) {
        MemoryDisk disk(20000);
        disk.tableEntry(0, 0, type, 2048, 16384);
        disk.exfatBoot(2048, 16384);
        const MemoryImage image = disk.image();
        RecordingSink sink;
        WorkControl work(&sink);
        const auto r = Partition(image, fs::fsProbes()).standardScan(false, work);
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].fsName, "FAT64") << int{type};
        EXPECT_TRUE(sink.saw("found FAT64..."));
    }
}

TEST(PartitionMbr, PrimaryAndTwoLogicalVolumes) {
    MemoryDisk disk(30000);
    disk.tableEntry(0, 0, 0x0C, 2048, 8192);
    disk.tableEntry(0, 1, 0x05, 12288, 16384);
    // First EBR: a FAT16 volume 2048 sectors after it, then the link to the second.
    disk.tableEntry(12288, 0, 0x06, 2048, 4096);
    disk.tableEntry(12288, 1, 0x05, 8192, 8192);
    disk.tableEntry(20480, 0, 0x83, 2048, 6144);
    const MemoryImage image = disk.image();
    RecordingSink sink;
    WorkControl work(&sink);
    const auto r = Partition(image, fs::fsProbes()).standardScan(false, work);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].fsName, "FAT32");
    EXPECT_EQ(r[0].sizeMiBText, "4   MB");
    EXPECT_EQ(r[1].fsName, "FAT16");
    EXPECT_EQ(r[1].startSector, 12288 + 2048);
    EXPECT_EQ(r[1].sizeMiBText, "2   MB");
    EXPECT_EQ(r[2].fsName, "extX");
    EXPECT_EQ(r[2].startSector, 20480 + 2048);
    EXPECT_EQ(r[2].sizeMiBText, "3   MB");
    EXPECT_EQ(r[2].volumeName, "2");
    EXPECT_TRUE(sink.saw("found extx..."));
}

TEST(PartitionMbr, LogicalType42IsUnknown) {
    MemoryDisk disk(8192);
    disk.tableEntry(0, 0, 0x0F, 2048, 6000);
    disk.tableEntry(2048, 0, 0x42, 64, 2048);
    const MemoryImage image = disk.image();
    const auto r = Partition(image, fs::fsProbes()).standardScan(false);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].fsName, "Unknown");
}

TEST(PartitionMbr, GptDiskReadThroughItsProtectiveMbr) {
    MemoryDisk disk(4096);
    disk.gptHeader();
    disk.gptEntry(0, 2048, 4095, u"Basic data partition");
    const MemoryImage image = disk.image();
    const auto r = Partition(image, fs::fsProbes()).standardScan(false);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].fsName, "Unknown");
    EXPECT_TRUE(hasGptHeader(image));
}

TEST(PartitionMbr, SelfReferencingChainEndsCleanly) {
    MemoryDisk disk(8192);
    disk.tableEntry(0, 0, 0x05, 2048, 6000);
    disk.tableEntry(2048, 0, 0x06, 64, 2048);
    disk.tableEntry(2048, 1, 0x05, 0, 6000);  // links back to itself
    const MemoryImage image = disk.image();
    const auto r = Partition(image, fs::fsProbes()).standardScan(false);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].startSector, 2048 + 64);
}

TEST(PartitionMbr, ChainLoopingBackEndsAtTheFirstRepeat) {
    MemoryDisk disk(8192);
    disk.tableEntry(0, 0, 0x05, 1000, 7000);
    disk.tableEntry(1000, 0, 0x06, 10, 100);
    disk.tableEntry(1000, 1, 0x05, 1000, 100);  // -> 2000
    disk.tableEntry(2000, 0, 0x06, 10, 100);
    disk.tableEntry(2000, 1, 0x05, 0, 100);     // -> 1000 again
    const MemoryImage image = disk.image();
    EXPECT_EQ(Partition(image, fs::fsProbes()).standardScan(false).size(), 2u);
}

TEST(PartitionMbr, LongChainStopsAtFifty) {
    MemoryDisk disk(200);
    disk.tableEntry(0, 0, 0x05, 1, 199);
    for (int i = 0; i < 60 && 1 + i < 199; ++i) {
        const std::int64_t ebr = 1 + i * 3;
        if (ebr + 3 >= 200) break;
        disk.tableEntry(ebr, 0, 0x0C, 1, 1);
        disk.tableEntry(ebr, 1, 0x05, static_cast<std::uint32_t>(ebr + 3 - 1), 3);
    }
    const MemoryImage image = disk.image();
    const auto r = Partition(image, fs::fsProbes()).standardScan(false);
    EXPECT_LE(r.size(), 50u);
    EXPECT_GE(r.size(), 50u);
}

TEST(PartitionMbr, EntriesBeyondTheDiskEndCleanly) {
    MemoryDisk disk(100);
    disk.tableEntry(0, 0, 0x07, 0xFFFFFFF0u, 0xFFFFFFFFu);  // exFAT test read fails: NTFS
    disk.tableEntry(0, 1, 0x05, 0xFFFFFF00u, 10);           // extended record unreadable
    const MemoryImage image = disk.image();
    const auto r = Partition(image, fs::fsProbes()).standardScan(false);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].fsName, "NTFS");
    EXPECT_EQ(r[0].startSector, 0xFFFFFFF0LL);
}

TEST(PartitionMbr, UnreadableDiskGivesNothing) {
    const MemoryImage empty;
    RecordingSink sink;
    WorkControl work(&sink);
    EXPECT_TRUE(Partition(empty, fs::fsProbes()).standardScan(false, work).empty());
    EXPECT_TRUE(Partition(empty, fs::fsProbes()).standardScan(true, work).empty());
    EXPECT_EQ(sink.positions.back(), 1000);
    EXPECT_FALSE(hasGptHeader(empty));
}

// ---- GPT ------------------------------------------------------------------

TEST(PartitionGpt, NamesAndSizeTexts) {
    MemoryDisk disk(60000);
    disk.gptHeader();
    disk.gptEntry(0, 34, 8225, u"Microsoft reserved partition");
    disk.gptEntry(1, 10240, 30719, u"Basic data partition");
    disk.ntfsBoot(10240, 20479);
    disk.gptEntry(2, 30720, 40959, u"fat");
    disk.fatBoot(30720, false, 256, 10240);
    disk.gptEntry(3, 40960, 45055, u"hfs");
    disk.hfsHeader(40962, 4096, 512);
    disk.gptEntry(4, 45056, 59999, u"Linux filesystem");
    const MemoryImage image = disk.image();
    RecordingSink sink;
    WorkControl work(&sink);
    const auto r = Partition(image, fs::fsProbes()).standardScan(true, work);
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].fsName, "NTFS");
    EXPECT_EQ(r[0].sizeMiBText, "9   MB");
    EXPECT_EQ(r[0].startSector, 10240);
    EXPECT_EQ(r[0].sectorCount, 20480);
    EXPECT_EQ(r[1].fsName, "FAT16");
    EXPECT_EQ(r[1].sizeMiBText, "5  MB");
    EXPECT_EQ(r[2].fsName, "HFS+");
    EXPECT_EQ(r[2].sizeMiBText, "1");
    EXPECT_EQ(r[3].fsName, "Linux filesystem");
    EXPECT_EQ(r[3].sizeMiBText, "7");
    EXPECT_EQ(r[3].volumeName, "3");
    EXPECT_TRUE(sink.saw("found NTFS 1..."));
    EXPECT_TRUE(sink.saw("found FAT 16..."));
}

TEST(PartitionGpt, ZeroSizedBootSectorsGiveNoRecord) {
    MemoryDisk disk(8192);
    disk.gptHeader();
    disk.gptEntry(0, 2048, 4095, u"a");
    disk.ntfsBoot(2048, 2047);  // under 1 MiB
    disk.gptEntry(1, 4096, 8191, u"b");
    disk.fatBoot(4096, false, 77, 4000);  // "found unknown..."
    const MemoryImage image = disk.image();
    RecordingSink sink;
    WorkControl work(&sink);
    EXPECT_TRUE(Partition(image, fs::fsProbes()).standardScan(true, work).empty());
    EXPECT_TRUE(sink.saw("found unknown..."));
}

TEST(PartitionGpt, CollectionEndsAtTheFirstEmptyOrMarkedEntry) {
    MemoryDisk disk(8192);
    disk.gptHeader();
    disk.gptEntry(0, 2048, 4095, u"one");
    disk.gptEntry(1, 4096, 6143, u"two", 0x30);  // a type GUID byte 0x30 ends it
    disk.gptEntry(2, 6144, 8191, u"three");
    const MemoryImage image = disk.image();
    const auto r = Partition(image, fs::fsProbes()).standardScan(true);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].fsName, "one");
}

TEST(PartitionGpt, EntryArrayAtItsFullLba) {
    MemoryDisk disk(0x10000 + 100);
    disk.gptHeader(0x10002);  // low byte 2, high bits set: the array is at 0x10002
    disk.gptEntry(0, 4096, 8191, u"far", 0xA2, 0x10002);
    disk.gptEntry(0, 2048, 4095, u"near");  // what the low byte alone would find
    const MemoryImage image = disk.image();
    const auto r = Partition(image, fs::fsProbes()).standardScan(true);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].fsName, "far");
}

TEST(PartitionGpt, HostileArrayLbaEndsCleanly) {
    MemoryDisk disk(4096);
    disk.gptHeader(0xFFFFFFFFFFFFFF02ull);
    const MemoryImage image = disk.image();
    EXPECT_TRUE(Partition(image, fs::fsProbes()).standardScan(true).empty());
}

TEST(PartitionGpt, EntryBeyondTheDiskEndsTheScanKeepingEarlierRecords) {
    MemoryDisk disk(8192);
    disk.gptHeader();
    disk.gptEntry(0, 2048, 4095, u"first");
    disk.gptEntry(1, 0x7FFFFFFFFFFFFFF0LL, 0x7FFFFFFFFFFFFFFFLL, u"beyond");
    disk.gptEntry(2, 4096, 8191, u"after");
    const MemoryImage image = disk.image();
    const auto r = Partition(image, fs::fsProbes()).standardScan(true);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].fsName, "first");
}

TEST(PartitionGpt, ExtremeEndingLbaDoesNotOverflow) {
    MemoryDisk disk(8192);
    disk.gptHeader();
    disk.gptEntry(0, 2048, INT64_MIN, u"odd");
    const MemoryImage image = disk.image();
    const auto r = Partition(image, fs::fsProbes()).standardScan(true);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].sectorCount, -1);
}

// A sink that asks the job to stop at the first status it sees.
class StopOnStatus : public RecordingSink {
public:
    WorkControl* work = nullptr;
    void setStatus(const std::string& text) override {
        RecordingSink::setStatus(text);
        if (work) work->requestStop();
    }
};

TEST(PartitionGpt, StopEndsTheWalkAfterTheCurrentPartition) {
    MemoryDisk disk(20000);
    disk.gptHeader();
    disk.gptEntry(0, 2048, 6143, u"a");
    disk.ntfsBoot(2048, 4095);
    disk.gptEntry(1, 6144, 10239, u"b");
    disk.ntfsBoot(6144, 4095);
    const MemoryImage image = disk.image();
    StopOnStatus sink;
    WorkControl work(&sink);
    sink.work = &work;
    EXPECT_EQ(Partition(image, fs::fsProbes()).standardScan(true, work).size(), 1u);
}

// ---- advanced scan ----------------------------------------------------------

TEST(PartitionAdvanced, FindsNtfsWithZeroedTable) {
    MemoryDisk disk(8192);
    disk.ntfsBoot(2048, 4095);
    disk.ntfsBoot(2048 + 4095, 4095);  // its backup boot sector, the volume's last
    const MemoryImage image = disk.image();
    RecordingSink sink;
    WorkControl work(&sink);
    std::vector<VolumeRecord> seen;
    const auto r = Partition(image, fs::fsProbes()).advancedScan(work, false, -1, -1, [&](const VolumeRecord& v) { seen.push_back(v); });
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].fsName, "NTFS");
    EXPECT_EQ(r[0].startSector, 2048);
    EXPECT_EQ(r[0].sizeMiBText, "1   MB");
    EXPECT_EQ(r[0].sectorCount, 4096);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].startSector, 2048);
    EXPECT_EQ(sink.statuses.front(), "Scanning partition.....");
    EXPECT_TRUE(sink.saw("found NTFS 1..."));
    EXPECT_EQ(sink.ranges.front(), std::make_pair(std::int64_t{0}, std::int64_t{1000}));
    EXPECT_EQ(sink.positions.back(), 1000);
    // The backup boot sector is never a volume of its own, even without the skip.
    WorkControl again;
    EXPECT_EQ(Partition(image, fs::fsProbes()).advancedScan(again, true).size(), 1u);
}

TEST(PartitionAdvanced, BackupBootSectorStandsForAVolumeWhosePrimaryIsLost) {
    // The volume fills a disk; its boot sector is gone, its backup is the disk's
    // last sector and would claim a volume reaching far past the disk.
    MemoryDisk disk(8192);
    disk.ntfsBoot(8191, 8191 - 2048);
    disk.at(8191).le32(0x1C, 2048);  // hidden sectors: the volume's first sector
    const MemoryImage image = disk.image();
    for (const bool noSkip : {false, true}) {
        WorkControl work;
        const auto r = Partition(image, fs::fsProbes()).advancedScan(work, noSkip);
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].startSector, 2048);
        EXPECT_EQ(r[0].sectorCount, 8192 - 2048);
    }
}

TEST(PartitionAdvanced, Fat32BackupBootSectorOnlyWithoutSkip) {
    MemoryDisk disk(12000);
    disk.fatBoot(2048, true, 0, 8192);
    disk.fatBoot(2048 + 6, true, 0, 8192);
    const MemoryImage image = disk.image();
    WorkControl work;
    const auto skipped = Partition(image, fs::fsProbes()).advancedScan(work, false);
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_EQ(skipped[0].sizeMiBText, "4  MB");
    const auto all = Partition(image, fs::fsProbes()).advancedScan(work, true);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1].startSector, 2054);
    EXPECT_EQ(all[1].volumeName, "1");
}

TEST(PartitionAdvanced, HfsPlusHeaderAt2050StartsAt2048) {
    MemoryDisk disk(12000);
    disk.hfsHeader(2050, 4096, 1024);
    disk.hfsHeader(1, 4096, 1024);  // a header in sector 1 would start before the disk
    const MemoryImage image = disk.image();
    RecordingSink sink;
    WorkControl work(&sink);
    const auto r = Partition(image, fs::fsProbes()).advancedScan(work, false);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].fsName, "HFS+");
    EXPECT_EQ(r[0].startSector, 2048);
    EXPECT_EQ(r[0].sizeMiBText, "4  MB");
    EXPECT_TRUE(sink.saw("found HFS+..."));
}

TEST(PartitionAdvanced, HfsPlusSizeLimit) {
    MemoryDisk disk(4096);
    disk.hfsHeader(100, 0x10000, 0x200000);  // 128 GiB: fine
    disk.hfsHeader(300, 0x40000000, 0x40000000);  // 2^60 bytes: over the limit
    const MemoryImage image = disk.image();
    WorkControl work;
    const auto r = Partition(image, fs::fsProbes()).advancedScan(work, true);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].startSector, 98);
}

TEST(PartitionAdvanced, CustomRange) {
    MemoryDisk disk(20000);
    disk.ntfsBoot(3000, 4095);
    disk.exfatBoot(12000, 4096);
    const MemoryImage image = disk.image();
    WorkControl work;
    Partition p(image, fs::fsProbes());
    EXPECT_TRUE(p.advancedScan(work, false, 100, 2999).empty());
    EXPECT_EQ(p.advancedScan(work, false, 3000, 3000).size(), 1u);
    const auto tail = p.advancedScan(work, false, 3001, 0);  // 0: the end of the disk
    ASSERT_EQ(tail.size(), 1u);
    EXPECT_EQ(tail[0].fsName, "FAT64");
    EXPECT_EQ(tail[0].sizeMiBText, "2  MB");
    EXPECT_EQ(p.advancedScan(work, false, 0, 0).size(), 2u);
}

TEST(PartitionAdvanced, SkipJumpsAcrossChunks) {
    // A volume found near a chunk's end whose size carries the scan several chunks on.
    const std::int64_t n = Partition::kScanChunkSectors;
    MemoryDisk disk(6 * n);
    disk.fatBoot(n - 1, true, 0, static_cast<std::uint32_t>(3 * n));
    disk.fatBoot(2 * n, true, 0, static_cast<std::uint32_t>(3 * n));  // inside the first: skipped
    disk.fatBoot(4 * n, true, 0, 4096);
    const MemoryImage image = disk.image();
    WorkControl work;
    const auto r = Partition(image, fs::fsProbes()).advancedScan(work, false);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].startSector, n - 1);
    EXPECT_EQ(r[1].startSector, 4 * n);
}

TEST(PartitionAdvanced, SizeBeyondTheDiskKeepsTheRecordAndEnds) {
    MemoryDisk disk(8192);
    disk.ntfsBoot(100, 0x7FFFFFFFFFFFFFFFull);
    disk.ntfsBoot(5000, 4095);
    const MemoryImage image = disk.image();
    WorkControl work;
    const auto r = Partition(image, fs::fsProbes()).advancedScan(work, false);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].startSector, 100);
    EXPECT_EQ(r[0].sectorCount, 8192 - 100);  // never past the disk's last sector
    // Without the skip the scan goes on to the second.
    EXPECT_EQ(Partition(image, fs::fsProbes()).advancedScan(work, true).size(), 2u);
}

TEST(PartitionAdvanced, SparseImageClaimingAHugeDiskReadsOnlyWhatItStores) {
    // A dynamic VHD claiming 64 GiB that stores two blocks: a boot record in one.
    VhdSpec spec;
    spec.diskBytes = std::uint64_t{64} << 30;
    spec.sectors[0] = std::vector<std::uint8_t>(512, 0x11);
    MemoryDisk boot(1);
    boot.ntfsBoot(0, 4095);
    spec.sectors[(std::uint64_t{40} << 30) / 512] = boot.bytes();
    TempDir dir;
    writeVhd(dir / "sparse.vhd", spec);
    FileReadSeekVHD vhd;
    ASSERT_TRUE(vhd.open((dir / "sparse.vhd").string()));
    const LoggingReader logged(vhd);
    WorkControl work;
    const auto r = Partition(logged, fs::fsProbes()).advancedScan(work, false);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].startSector, (std::int64_t{40} << 30) / 512);
    EXPECT_LT(logged.bytesRead(), std::int64_t{8} << 20);  // the two stored blocks, not 64 GiB
}

TEST(PartitionAdvanced, NegativeSizesGiveNoRecord) {
    MemoryDisk disk(4096);
    disk.ntfsBoot(10, 0x8000000000000000ull);
    disk.exfatBoot(20, 0xFFFFFFFFFFFFFFFFull);
    const MemoryImage image = disk.image();
    WorkControl work;
    EXPECT_TRUE(Partition(image, fs::fsProbes()).advancedScan(work, true).empty());
}

TEST(PartitionAdvanced, StopKeepsWhatWasFound) {
    const std::int64_t n = Partition::kScanChunkSectors;
    MemoryDisk disk(4 * n);
    disk.ntfsBoot(10, 4095);
    disk.ntfsBoot(3 * n, 4095);
    const MemoryImage image = disk.image();
    RecordingSink sink;
    WorkControl work(&sink);
    const auto r = Partition(image, fs::fsProbes()).advancedScan(work, false, -1, -1, [&](const VolumeRecord&) { work.requestStop(); });
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(sink.statuses.back(), "Scanned Partitions");
}

TEST(PartitionAdvanced, EmptyDisk) {
    const MemoryImage empty;
    WorkControl work;
    EXPECT_TRUE(Partition(empty, fs::fsProbes()).advancedScan(work, false).empty());
}

}  // namespace
}  // namespace tavrel
