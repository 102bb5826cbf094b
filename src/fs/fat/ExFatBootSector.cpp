#include "fs/fat/ExFatBootSector.h"

#include <algorithm>
#include <cstring>

namespace tavrel::fs::fat {

std::optional<ExFatBootSector> decodeExFatBootSector(ByteSpan s) {
    if (s.size() < 512) return std::nullopt;
    if (std::memcmp(s.data() + 3, "EXFAT   ", 8) != 0) return std::nullopt;
    ExFatBootSector b;
    b.fatOffsetSectors = le32(s, 80);
    b.fatLengthSectors = le32(s, 84);
    b.heapOffsetSectors = le32(s, 88);
    b.clusterCount = le32(s, 92);
    b.rootCluster = le32(s, 96);
    b.bytesPerSectorShift = u8(s, 108);
    b.sectorsPerClusterShift = u8(s, 109);
    if (b.bytesPerSectorShift < 9 || b.bytesPerSectorShift > 12) return std::nullopt;
    if (b.bytesPerSectorShift + b.sectorsPerClusterShift > 25) return std::nullopt;
    if (b.fatOffsetSectors == 0 || b.heapOffsetSectors == 0) return std::nullopt;
    return b;
}

ExFatLayout exFatLayout(const ExFatBootSector& b, std::int64_t volumeBytes) {
    ExFatLayout l;
    l.bytesPerSector = std::int64_t{1} << b.bytesPerSectorShift;
    l.clusterSize = l.bytesPerSector << b.sectorsPerClusterShift;
    l.fatOffset = static_cast<std::int64_t>(b.fatOffsetSectors) * l.bytesPerSector;
    l.fatBytes = static_cast<std::int64_t>(b.fatLengthSectors) * l.bytesPerSector;
    l.heapOffset = static_cast<std::int64_t>(b.heapOffsetSectors) * l.bytesPerSector;
    l.rootCluster = b.rootCluster;
    std::int64_t count = b.clusterCount;
    const std::int64_t onVolume = volumeBytes > l.heapOffset ? (volumeBytes - l.heapOffset) / l.clusterSize : 0;
    count = std::min(count, onVolume);
    count = std::min(count, std::max<std::int64_t>(l.fatBytes / 4 - 2, 0));
    count = std::min<std::int64_t>(count, 0xFFFFFFF5);
    l.clusterCount = static_cast<std::uint32_t>(std::max<std::int64_t>(count, 0));
    return l;
}

}  // namespace tavrel::fs::fat
