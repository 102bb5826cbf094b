// The NTFS boot sector: geometry, volume size and where the MFT starts.
#pragma once

#include <cstdint>

#include "util/Bytes.h"

namespace tavrel::fs {

struct NtfsBoot {
    bool isNtfs = false;               // "NTFS" at offset 3
    std::uint32_t bytesPerSector = 0;
    std::uint32_t sectorsPerCluster = 0;
    std::uint64_t totalSectors = 0;
    std::int64_t mftCluster = 0;
    std::int64_t mftMirrorCluster = 0;
    std::int64_t clusterSize = 0;      // 0 when the geometry is unusable
    std::uint32_t recordSize = 1024;   // from offset 0x40 when valid, else 1024
    std::int64_t volumeSize = 0;       // total sectors x bytes per sector (0 when unusable)
};

// Decodes the first sector of a volume. Never fails: fields that do not make
// sense are left at their defaults (clusterSize 0, recordSize 1024).
NtfsBoot decodeBootSector(ByteSpan sector);

// True for a power of two within [low, high].
bool isPowerOfTwoIn(std::uint64_t value, std::uint64_t low, std::uint64_t high);

}  // namespace tavrel::fs
