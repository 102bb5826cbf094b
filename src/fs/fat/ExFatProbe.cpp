#include "fs/fat/ExFatProbe.h"

#include <cstring>

#include "fs/fat/FatProbe.h"

namespace tavrel::fs::fat {

namespace {

// The sector size an exFAT boot sector names (2^9 .. 2^12 bytes); 0 for any other.
std::size_t exFatSectorSize(ByteSpan sector) {
    const std::uint8_t shift = sector.size() > 108 ? sector[108] : 0;
    return shift >= 9 && shift <= 12 ? std::size_t{1} << shift : 0;
}

bool exFatStarts(ByteSpan s) { return le32(s, 0) == 0xFFFFFFF8 && le32(s, 4) == 0xFFFFFFFF; }

}  // namespace

bool isExfatBootSector(ByteSpan sector) {
    return hasFatJump(sector) && sector.size() >= 7 && std::memcmp(sector.data() + 3, "EXFA", 4) == 0;
}

BootMatch exFatBootRecord(ByteSpan sector, BootTest) {
    BootMatch m;
    if (sector.size() < 512 || !isExfatBootSector(sector)) return m;
    m.result = BootMatch::Result::Named;
    m.sectors = static_cast<std::int64_t>(le64(sector, 0x48));
    return m;
}

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

std::optional<BackupRecord> findExFatBackup(const VolumeView& volume) {
    std::vector<std::uint8_t> bytes(512);
    for (std::uint32_t bps = 512; bps <= 4096; bps *= 2) {
        const std::int64_t at = kExFatBackupSector * bps;
        // The region is read only when its first sector names this sector size.
        if (!volume.readAt(at, bytes) || !isExfatBootSector(bytes) || exFatSectorSize(bytes) != bps) continue;
        std::vector<std::uint8_t> region(static_cast<std::size_t>(kExFatBootRegionSectors * bps));
        if (volume.readAt(at, region) && isSoundExFatBootRegion(region, bps)) {
            region.resize(512);
            return BackupRecord{at, std::move(region)};
        }
    }
    return std::nullopt;
}

std::optional<std::int64_t> exFatBackupPrimary(const readWriteInterface& disk, ByteSpan sector, std::int64_t here,
                                               std::int64_t sectors) {
    return backupPrimaryByFat(disk, here, sectors, kExFatBackupSector, le32(sector, 0x50), &exFatBootRecord,
                              &exFatStarts);
}

}  // namespace tavrel::fs::fat
