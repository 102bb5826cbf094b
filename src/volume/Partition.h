// The volume scanner: turns a disk into VolumeRecords.
//
//  - standardScan reads the MBR with its chain of extended boot records, or the
//    GPT, and names each partition's file system;
//  - advancedScan tests every sector of the disk (or of a sector range) for a boot
//    sector or an HFS+ volume header, for volumes whose table entries are lost.
//
// Both read through the reader's stateless readAt, so a scan never moves the
// reader's position or baseOffset and may run beside other readers of the image.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "image/readWriteInterface.h"
#include "util/WorkControl.h"
#include "volume/VolumeRecord.h"

namespace tavrel {

class Partition {
public:
    explicit Partition(const readWriteInterface& reader);

    // MBR with its chain of extended boot records, or GPT when gpt is true, then
    // the LVM2 logical volumes found in the partitions or on the whole disk. The
    // second form reports its status texts ("found NTFS 1...") and the final
    // progress position 1000 through work, and a stop ends the GPT walk early.
    std::vector<VolumeRecord> standardScan(bool gpt);
    std::vector<VolumeRecord> standardScan(bool gpt, WorkControl& work);

    // Tests every sector of [startSector, endSector] (the whole disk when -1; 0
    // means the start, respectively the end, of the disk too) for NTFS, FAT12/16,
    // FAT32 and exFAT boot sectors and HFS+ volume headers. Unless noSkip is set,
    // the scan jumps over each volume it finds. Status texts and progress (range
    // 0..1000) go through work; a stop ends the scan early and keeps what was
    // found. onFound (may be empty) is called for each record as it is found, on
    // the scanning thread.
    std::vector<VolumeRecord> advancedScan(WorkControl& work, bool noSkip, std::int64_t startSector = -1,
                                           std::int64_t endSector = -1,
                                           const std::function<void(const VolumeRecord&)>& onFound = {});

    // Sectors the advanced scan reads per positioned read.
    static constexpr std::int64_t kScanChunkSectors = 2048;  // 1 MiB

private:
    std::vector<VolumeRecord> scanGpt(WorkControl& work);
    std::vector<VolumeRecord> scanMbr(WorkControl& work);

    const readWriteInterface& reader_;
};

// True when sector 1 carries the GPT header signature "EFI PART" (the
// protective MBR in front of it is not looked at). The scan mode page and the
// CLI tick "GPT format" by it.
bool hasGptHeader(const readWriteInterface& reader);

}  // namespace tavrel
