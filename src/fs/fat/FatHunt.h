// The hunt for FAT copies of Advanced mode: every 512-byte sector of the volume
// whose first bytes are FAT entries 0 and 1 as the kind writes them is taken as
// the first sector of a FAT. The list is in volume order and bounded.
#pragma once

#include <cstdint>
#include <vector>

#include "fs/ScanOutcome.h"
#include "image/VolumeView.h"
#include "util/Bytes.h"
#include "util/WorkControl.h"

namespace tavrel::fs::fat {

enum class FatHuntKind {
    Fat16,  // F8 FF FF FF: entries 0 and 1 of a FAT16 FAT (media byte F8)
    Fat32,  // F8 FF FF 0F, then FF FF FF FF or FF FF FF 0F: entry 1 as either width writes it
    ExFat,  // F8 FF FF FF FF FF FF FF
};

// True when `sector` begins like the first sector of a FAT of that kind.
bool startsFat(FatHuntKind kind, ByteSpan sector);

struct FatHuntLimits {
    int maximum = 3;  // below 1: 3
    std::int64_t chunkSize = 10485760;
};

// Volume byte offsets of the sectors found, at most `maximum`. Unreadable
// chunks are counted in `warnings` and skipped; no match is recorded past the
// volume's end; a stop keeps what was found.
std::vector<std::int64_t> huntFatCopies(const VolumeView& volume, FatHuntKind kind, const FatHuntLimits& limits,
                                        WorkControl& work, Warnings& warnings);

}  // namespace tavrel::fs::fat
