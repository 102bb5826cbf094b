#include "volume/BackupBoot.h"

namespace tavrel {

namespace {

// The sector size an exFAT boot sector names (2^9 .. 2^12 bytes); 0 for any other.
std::size_t exFatSectorSize(ByteSpan sector) {
    const std::uint8_t shift = sector.size() > 108 ? sector[108] : 0;
    return shift >= 9 && shift <= 12 ? std::size_t{1} << shift : 0;
}

}  // namespace

std::uint32_t exFatBootChecksum(ByteSpan sectors) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < sectors.size(); ++i) {
        if (i == 106 || i == 107 || i == 112) continue;
        sum = ((sum & 1) ? 0x80000000u : 0u) + (sum >> 1) + sectors[i];
    }
    return sum;
}

bool isSoundExFatBootRegion(ByteSpan region, std::uint32_t bytesPerSector) {
    const std::size_t bps = bytesPerSector;
    if (bps < 512 || bps > 4096 || (bps & (bps - 1)) != 0 || region.size() < kExFatBootRegionSectors * bps) return false;
    if (!isExfatBootSector(region) || exFatSectorSize(region) != bps) return false;
    const std::uint32_t sum = exFatBootChecksum(region.first(11 * bps));
    const ByteSpan checksums = region.subspan(11 * bps, bps);
    for (std::size_t at = 0; at < bps; at += 4)
        if (le32(checksums, at) != sum) return false;
    return true;
}

bool isFat32BackupBootSector(ByteSpan sector, std::uint32_t bytesPerSector) {
    if (sector.size() < 512 || testBootSector(sector, BootTest::PartitionTable).kind != BootKind::Fat32) return false;
    return le16(sector, 0x0B) == bytesPerSector && le16(sector, 0x32) == kFat32BackupSector && sector[510] == 0x55 &&
           sector[511] == 0xAA;
}

std::optional<BackupBootRecord> findBackupBootRecord(const VolumeView& volume) {
    std::vector<std::uint8_t> bytes(512);
    for (std::uint32_t bps = 512; bps <= 4096; bps *= 2) {
        const std::int64_t at = kFat32BackupSector * bps;
        if (volume.readAt(at, bytes) && isFat32BackupBootSector(bytes, bps))
            return BackupBootRecord{BootKind::Fat32, at, bytes};
    }
    for (std::uint32_t bps = 512; bps <= 4096; bps *= 2) {
        const std::int64_t at = kExFatBackupSector * bps;
        // The region is read only when its first sector names this sector size.
        if (!volume.readAt(at, bytes) || !isExfatBootSector(bytes) || exFatSectorSize(bytes) != bps)
            continue;
        std::vector<std::uint8_t> region(static_cast<std::size_t>(kExFatBootRegionSectors * bps));
        if (volume.readAt(at, region) && isSoundExFatBootRegion(region, bps)) {
            region.resize(512);
            return BackupBootRecord{BootKind::ExFat, at, std::move(region)};
        }
    }
    return std::nullopt;
}

}  // namespace tavrel
