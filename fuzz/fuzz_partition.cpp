// Fuzzes the volume scans: the input is the start of a small disk held in memory
// (zero-padded to at least 64 KiB), read as an MBR with its extended chain, as a
// GPT, and sector by sector by the advanced scan with and without the skip and
// over a sector range. (Skips across chunk boundaries are covered by the tests.)
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fs/factory/FsKinds.h"
#include "image/MemoryImage.h"
#include "volume/Partition.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

void checkRecords(const std::vector<tavrel::VolumeRecord>& records, std::int64_t sectors, bool advanced) {
    for (std::size_t i = 0; i < records.size(); ++i) {
        check(records[i].volumeName == std::to_string(i));
        check(!records[i].fsName.empty() || !advanced);
        if (advanced) check(records[i].startSector >= 0 && records[i].startSector < sectors);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kMinDisk = 128 * 512;
    std::vector<std::uint8_t> bytes(data, data + size);
    bytes.resize(std::max(kMinDisk, (size + 511) / 512 * 512), 0);
    const tavrel::MemoryImage image(std::move(bytes));
    const auto sectors = static_cast<std::int64_t>(image.totalSectors());

    tavrel::Partition scanner(image, tavrel::fs::fsProbes());
    checkRecords(scanner.standardScan(false), sectors, false);
    checkRecords(scanner.standardScan(true), sectors, false);
    tavrel::WorkControl work;
    checkRecords(scanner.advancedScan(work, false), sectors, true);
    checkRecords(scanner.advancedScan(work, true), sectors, true);
    checkRecords(scanner.advancedScan(work, false, 3, 700), sectors, true);
    (void)tavrel::hasGptHeader(image);
    for (std::size_t off = 0; off + 512 <= size; off += 512) {
        const tavrel::ByteSpan sector(data + off, 512);
        for (const tavrel::FsProbe& p : tavrel::fs::fsProbes())
            if (p.bootRecord) (void)p.bootRecord(sector, tavrel::BootTest::PartitionTable);
    }
    return 0;
}
