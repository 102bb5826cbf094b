// The volume scanner: turns a disk into VolumeRecords.
//
//  - standardScan reads the MBR with its chain of extended boot records, or the
//    GPT, and names each partition's file system;
//  - advancedScan tests every sector of the disk (or of a sector range) for a boot
//    record, for volumes whose table entries are lost.
//
// What names a file system comes from the probes the scanner is given, one per
// kind (FsProbe.h; the kind table builds them): this file names none.
//
// Both read through the reader's stateless readAt, so a scan never moves the
// reader's position or baseOffset and may run beside other readers of the image.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "image/readWriteInterface.h"
#include "util/WorkControl.h"
#include "volume/FsProbe.h"
#include "volume/VolumeRecord.h"

namespace tavrel {

class Partition {
public:
    // The probes are tried in their order; they must outlive the scanner.
    Partition(const readWriteInterface& reader, std::span<const FsProbe> probes);

    // MBR with its chain of extended boot records, or GPT when gpt is true. The
    // second form reports its status texts (the probes') and the final
    // progress position 1000 through work, and a stop ends the GPT walk early.
    std::vector<VolumeRecord> standardScan(bool gpt);
    std::vector<VolumeRecord> standardScan(bool gpt, WorkControl& work);

    // Tests every sector of [startSector, endSector] (the whole disk when -1; 0
    // means the start, respectively the end, of the disk too) with every probe's
    // SectorScan test. A backup boot record is never a volume of its own. Unless
    // noSkip is set, the scan jumps over each volume it finds. Status texts and
    // progress (range 0..1000) go through work; a stop ends the scan early and keeps what was
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
    std::span<const FsProbe> probes_;
};

// The probe whose backup boot record `volume` keeps (tried in the probes'
// order), or nullptr: names a volume whose first sector is damaged.
const FsProbe* probeByBackupRecord(std::span<const FsProbe> probes, const VolumeView& volume);

// True when sector 1 carries the GPT header signature "EFI PART" (the
// protective MBR in front of it is not looked at). The scan mode page and the
// CLI tick "GPT format" by it.
bool hasGptHeader(const readWriteInterface& reader);

}  // namespace tavrel
