// The FAT12/16/32 boot sector (BIOS parameter block) and the volume layout derived
// from it. Pure decoding: bytes in, values out.
#pragma once

#include <cstdint>
#include <optional>

#include "util/Bytes.h"

namespace tavrel::fs::fat {

struct FatBootSector {
    std::uint16_t bytesPerSector = 0;    // offset 11
    std::uint8_t sectorsPerCluster = 0;  // 13
    std::uint16_t reservedSectors = 0;   // 14
    std::uint8_t numberOfFats = 0;       // 16
    std::uint16_t rootEntryCount = 0;    // 17
    std::uint16_t totalSectors16 = 0;    // 19
    std::uint16_t sectorsPerFat16 = 0;   // 22
    std::uint32_t totalSectors32 = 0;    // 32
    std::uint32_t sectorsPerFat32 = 0;   // 36 (FAT32 only)
    std::uint32_t rootCluster = 0;       // 44 (FAT32 only)

    std::uint64_t totalSectors() const { return totalSectors16 ? totalSectors16 : totalSectors32; }
};

// Decodes the fields above from the volume's first sector (at least 512 bytes).
std::optional<FatBootSector> decodeFatBootSector(ByteSpan sector);

// The parameter block describes a usable geometry: a sector size of 512 to 4096
// bytes, a power-of-two number of sectors per cluster, at least one reserved
// sector and one FAT.
// The OEM name (bytes 3 to 10) is not tested: formatters write many different
// names there ("MSDOS5.0", "mkfs.fat", "BSD  4.4", ...), so it tells nothing.
bool plausibleGeometry(const FatBootSector& boot);

// FAT12/16 volumes keep their FAT size in the 16-bit field; FAT32 volumes leave it
// zero and use the 32-bit field.
bool isFat16BootSector(const FatBootSector& boot);
bool isFat32BootSector(const FatBootSector& boot);

enum class FatKind { Fat12, Fat16, Fat32 };

// Byte positions and sizes of one FAT volume, all relative to the volume start.
struct FatLayout {
    FatKind kind = FatKind::Fat16;
    std::int64_t clusterSize = 0;
    std::int64_t fatOffset = 0;      // first FAT
    std::int64_t fatBytes = 0;
    std::int64_t rootOffset = 0;     // FAT12/16 fixed root directory
    std::int64_t rootBytes = 0;
    std::int64_t dataOffset = 0;     // cluster 2
    std::uint32_t clusterCount = 0;  // data clusters; valid numbers are 2 .. clusterCount + 1
    std::uint32_t rootCluster = 0;   // FAT32: first cluster of the root directory

    // Byte offset of cluster c (c >= 2).
    std::int64_t clusterOffset(std::uint32_t c) const {
        return dataOffset + (static_cast<std::int64_t>(c) - 2) * clusterSize;
    }
    bool validCluster(std::uint32_t c) const {
        return c >= 2 && static_cast<std::uint64_t>(c) < static_cast<std::uint64_t>(clusterCount) + 2;
    }
};

// Layout of a volume whose boot sector passed isFat16BootSector or
// isFat32BootSector. volumeBytes bounds the cluster count when the boot sector
// claims more sectors than the volume holds. FAT12 and FAT16 are told apart by
// the cluster count (below 4085 clusters the FAT has 12-bit entries), never by name.
FatLayout fatLayout(const FatBootSector& boot, std::int64_t volumeBytes);

}  // namespace tavrel::fs::fat
