#include "fs/fat/FatBootSector.h"

#include <algorithm>

namespace tavrel::fs::fat {

std::optional<FatBootSector> decodeFatBootSector(ByteSpan sector) {
    if (sector.size() < 512) return std::nullopt;
    FatBootSector b;
    b.bytesPerSector = le16(sector, 11);
    b.sectorsPerCluster = u8(sector, 13);
    b.reservedSectors = le16(sector, 14);
    b.numberOfFats = u8(sector, 16);
    b.rootEntryCount = le16(sector, 17);
    b.totalSectors16 = le16(sector, 19);
    b.sectorsPerFat16 = le16(sector, 22);
    b.totalSectors32 = le32(sector, 32);
    b.sectorsPerFat32 = le32(sector, 36);
    b.rootCluster = le32(sector, 44);
    return b;
}

bool plausibleGeometry(const FatBootSector& b) {
    const auto bps = b.bytesPerSector;
    if (bps != 512 && bps != 1024 && bps != 2048 && bps != 4096) return false;
    const auto spc = b.sectorsPerCluster;
    if (spc == 0 || (spc & (spc - 1)) != 0) return false;
    return b.reservedSectors != 0 && b.numberOfFats != 0;
}

bool isFat16BootSector(const FatBootSector& b) { return plausibleGeometry(b) && b.sectorsPerFat16 != 0; }

bool isFat32BootSector(const FatBootSector& b) {
    return plausibleGeometry(b) && b.sectorsPerFat16 == 0 && b.sectorsPerFat32 != 0;
}

FatLayout fatLayout(const FatBootSector& b, std::int64_t volumeBytes) {
    FatLayout l;
    const std::int64_t bps = b.bytesPerSector;
    const bool fat32 = b.sectorsPerFat16 == 0;
    const std::int64_t sectorsPerFat = fat32 ? b.sectorsPerFat32 : b.sectorsPerFat16;
    l.clusterSize = bps * b.sectorsPerCluster;
    l.fatOffset = static_cast<std::int64_t>(b.reservedSectors) * bps;
    l.fatBytes = sectorsPerFat * bps;
    l.rootOffset = (sectorsPerFat * b.numberOfFats + b.reservedSectors) * bps;
    l.rootBytes = fat32 ? 0 : static_cast<std::int64_t>(b.rootEntryCount) * 32;
    l.dataOffset = l.rootOffset + l.rootBytes;
    l.rootCluster = fat32 ? b.rootCluster : 0;

    // Clusters the boot sector describes; FAT12/16 is decided on this count.
    // (both total-sector fields zero: the volume's own size stands in).
    const std::int64_t claimed = static_cast<std::int64_t>(b.totalSectors()) * bps;
    const std::int64_t sized = claimed > 0 ? claimed : volumeBytes;
    const std::int64_t described = sized > l.dataOffset ? (sized - l.dataOffset) / l.clusterSize : 0;
    if (fat32) {
        l.kind = FatKind::Fat32;
    } else {
        l.kind = described < 4085 ? FatKind::Fat12 : FatKind::Fat16;
    }

    // Clusters that can actually be addressed: bounded by the volume, by the
    // FAT's capacity and by the entry width.
    const std::int64_t total = claimed > 0 ? std::min(claimed, volumeBytes) : volumeBytes;
    std::int64_t count = total > l.dataOffset ? (total - l.dataOffset) / l.clusterSize : 0;
    const int bits = l.kind == FatKind::Fat12 ? 12 : l.kind == FatKind::Fat16 ? 16 : 32;
    const std::int64_t fatCapacity = l.fatBytes * 8 / bits - 2;
    count = std::min(count, std::max<std::int64_t>(fatCapacity, 0));
    const std::int64_t widthLimit = l.kind == FatKind::Fat12 ? 0xFF5 : l.kind == FatKind::Fat16 ? 0xFFF5 : 0x0FFFFFF5;
    count = std::min(count, widthLimit);
    l.clusterCount = static_cast<std::uint32_t>(std::max<std::int64_t>(count, 0));
    return l;
}

}  // namespace tavrel::fs::fat
