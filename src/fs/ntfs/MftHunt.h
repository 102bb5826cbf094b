// The hunt for MFT copies of Advanced mode: every 512-byte unit of the volume
// is looked at for a "FILE" record; a record that carries number 0, is named
// "$MFT" and lies at the first cluster of its own $DATA's first run, and whose
// record 7 lies seven records further on and is named "$Boot", marks an MFT.
//
// The record numbers come from the records' own headers, so an unreadable or
// damaged record in between does not shift the test. The copy of record 0 in
// $MFTMirr is never taken: its runs point at the real MFT, not at itself.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "fs/ScanOutcome.h"
#include "fs/ntfs/MftLayout.h"
#include "fs/ntfs/RecordLoader.h"
#include "image/VolumeView.h"
#include "util/WorkControl.h"

namespace tavrel::fs {

struct MftCopy {
    std::int64_t offset = 0;        // volume byte offset of record 0 ($MFT)
    std::uint32_t recordSize = 1024;
    std::int64_t clusterSize = 0;   // the one that puts record 0 at its first run's first cluster
};

// The cluster size (512 .. 65536) that places `record` (an $MFT record read at
// its offset) at the first cluster of its own unnamed $DATA, when it is named
// "$MFT" and carries record number 0 (or none, as NTFS 3.0 writes it).
std::optional<std::int64_t> mftSelfPlace(const LoadedRecord& record);

// True when `record` can be record 7 of an MFT: named "$Boot", numbered 7 (or
// unnumbered).
bool isBootRecord(const LoadedRecord& record);

struct MftHuntLimits {
    int maximum = 3;                 // candidates kept (below 1: 3)
    std::int64_t chunkSize = 10485760;
};

// Hunts [0, volume size) in chunks. Chunks the image does not store (`stored`
// false) are skipped; an unreadable chunk is counted in `warnings` and skipped.
// Stops at the maximum, or at a stop request keeping what was found.
std::vector<MftCopy> huntMftCopies(const VolumeView& volume, const MftLayout::Stored& stored,
                                   const MftHuntLimits& limits, WorkControl& work, Warnings& warnings);

}  // namespace tavrel::fs
