// The exFAT boot sector and the volume layout derived from it. Pure decoding.
#pragma once

#include <cstdint>
#include <optional>

#include "util/Bytes.h"

namespace tavrel::fs::fat {

struct ExFatBootSector {
    std::uint32_t fatOffsetSectors = 0;        // offset 80
    std::uint32_t fatLengthSectors = 0;        // 84
    std::uint32_t heapOffsetSectors = 0;       // 88
    std::uint32_t clusterCount = 0;            // 92
    std::uint32_t rootCluster = 0;             // 96
    std::uint8_t bytesPerSectorShift = 0;      // 108
    std::uint8_t sectorsPerClusterShift = 0;   // 109
};

// Decodes the boot sector when bytes 3 to 10 name the file system "EXFAT   "
// and the shifts describe a usable geometry (sectors of 512 to 4096 bytes,
// clusters of at most 32 MiB); nullopt otherwise.
std::optional<ExFatBootSector> decodeExFatBootSector(ByteSpan sector);

struct ExFatLayout {
    std::int64_t bytesPerSector = 0;
    std::int64_t clusterSize = 0;
    std::int64_t fatOffset = 0;
    std::int64_t fatBytes = 0;
    std::int64_t heapOffset = 0;     // cluster 2
    std::uint32_t clusterCount = 0;  // valid clusters are 2 .. clusterCount + 1
    std::uint32_t rootCluster = 0;

    std::int64_t clusterOffset(std::uint32_t c) const {
        return heapOffset + (static_cast<std::int64_t>(c) - 2) * clusterSize;
    }
    bool validCluster(std::uint32_t c) const {
        return c >= 2 && static_cast<std::uint64_t>(c) < static_cast<std::uint64_t>(clusterCount) + 2;
    }
};

// Layout of an accepted boot sector; the cluster count is bounded by what the
// volume (volumeBytes) and the FAT can hold.
ExFatLayout exFatLayout(const ExFatBootSector& boot, std::int64_t volumeBytes);

}  // namespace tavrel::fs::fat
