// The volume scans know a file system only by the probes they are given: a
// made-up kind joins them with one FsProbe, as a real one joins through its row.
#include <gtest/gtest.h>

#include <cstring>

#include "volume/MemoryDisk.h"
#include "volume/Partition.h"
#include "volume/RecordingSink.h"

namespace tavrel {
namespace {

using test::MemoryDisk;
using test::RecordingSink;

// "ZZFS" at byte 0, the volume's size in sectors at byte 8.
BootMatch zzfsRecord(ByteSpan sector, BootTest) {
    BootMatch m;
    if (sector.size() < 16 || std::memcmp(sector.data(), "ZZFS", 4) != 0) return m;
    m.result = BootMatch::Result::Named;
    m.sectors = static_cast<std::int64_t>(le64(sector, 8));
    return m;
}

std::vector<FsProbe> probes() {
    return {
        {.listName = "ZZFS",
         .mbrTypes = {{.type = 0x83, .rule = MbrRule::BootRecord, .status = "found ZZFS..."}},
         .gptTypes = {{0x5A, 0x5A, 0x5A, 0x5A}},
         .bootRecord = &zzfsRecord,
         .firstBytes = {'Z'},
         .foundStatus = "found ZZFS %d..."},
        {.listName = "LINUX", .mbrTypes = {{.type = 0x83, .rule = MbrRule::Fallback, .status = "found linux..."}}},
    };
}

void zzfs(MemoryDisk& disk, std::int64_t sector, std::uint64_t sectors) {
    disk.at(sector).ascii(0, "ZZFS").le64(8, sectors);
}

TEST(ProbeSeam, AGivenKindIsNamedByEveryScan) {
    const std::vector<FsProbe> kinds = probes();
    MemoryDisk disk(20000);
    disk.tableEntry(0, 0, 0x83, 2048, 4096);
    disk.tableEntry(0, 1, 0x83, 8192, 4096);
    zzfs(disk, 2048, 4096);
    const MemoryImage image = disk.image();
    RecordingSink sink;
    WorkControl work(&sink);

    const auto mbr = Partition(image, kinds).standardScan(false, work);
    ASSERT_EQ(mbr.size(), 2u);
    EXPECT_EQ(mbr[0].fsName, "ZZFS");
    EXPECT_EQ(mbr[1].fsName, "LINUX");  // no ZZFS record: the type's fallback
    EXPECT_TRUE(sink.saw("found ZZFS..."));
    EXPECT_TRUE(sink.saw("found linux..."));

    const auto lost = Partition(image, kinds).advancedScan(work, false);
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost[0].fsName, "ZZFS");
    EXPECT_EQ(lost[0].sizeMiBText, "2  MB");
    EXPECT_TRUE(sink.saw("found ZZFS 1..."));

    EXPECT_TRUE(Partition(image, {}).advancedScan(work, false).empty());  // no probes, no kinds
}

TEST(ProbeSeam, GptTypeNamesAKindWhoseRecordIsMissing) {
    MemoryDisk disk(20000);
    disk.gptHeader();
    disk.gptEntry(0, 2048, 6143, u"data", 0x5A);
    const MemoryImage image = disk.image();
    const std::vector<FsProbe> kinds = probes();
    const auto r = Partition(image, kinds).standardScan(true);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].fsName, "ZZFS");
}

}  // namespace
}  // namespace tavrel
