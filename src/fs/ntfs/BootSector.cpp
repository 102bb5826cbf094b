#include "fs/ntfs/BootSector.h"

namespace tavrel::fs {

bool isPowerOfTwoIn(std::uint64_t value, std::uint64_t low, std::uint64_t high) {
    return value >= low && value <= high && (value & (value - 1)) == 0;
}

NtfsBoot decodeBootSector(ByteSpan sector) {
    NtfsBoot boot;
    boot.isNtfs = u8(sector, 3) == 'N' && u8(sector, 4) == 'T' && u8(sector, 5) == 'F' && u8(sector, 6) == 'S';
    boot.bytesPerSector = le16(sector, 11);
    // Sectors per cluster: values above 0x80 encode 2^(256 - value), used by
    // volumes whose clusters exceed 64 KiB.
    const std::uint8_t spc = u8(sector, 13);
    boot.sectorsPerCluster = spc > 0x80 ? (256 - spc < 32 ? 1u << (256 - spc) : 0u) : spc;
    boot.totalSectors = le64(sector, 40);
    boot.mftCluster = static_cast<std::int64_t>(le64(sector, 48));
    boot.mftMirrorCluster = static_cast<std::int64_t>(le64(sector, 56));

    if (isPowerOfTwoIn(boot.bytesPerSector, 256, 4096)) {
        // Total sectors beyond 2^52 cannot be a real volume; treat as unusable.
        if (boot.totalSectors < (std::uint64_t{1} << 52))
            boot.volumeSize = static_cast<std::int64_t>(boot.totalSectors * boot.bytesPerSector);
        const std::uint64_t cluster = std::uint64_t{boot.bytesPerSector} * boot.sectorsPerCluster;
        if (isPowerOfTwoIn(cluster, 256, 2u << 20)) boot.clusterSize = static_cast<std::int64_t>(cluster);
    }

    // Clusters per MFT record: positive = that many clusters, negative = 2^-n bytes.
    const auto perRecord = static_cast<std::int8_t>(u8(sector, 0x40));
    std::uint64_t recordSize = 0;
    if (perRecord < 0 && perRecord > -32) recordSize = std::uint64_t{1} << (-perRecord);
    else if (perRecord > 0 && boot.clusterSize > 0) recordSize = static_cast<std::uint64_t>(perRecord) * boot.clusterSize;
    if (isPowerOfTwoIn(recordSize, 512, 65536)) boot.recordSize = static_cast<std::uint32_t>(recordSize);
    return boot;
}

}  // namespace tavrel::fs
