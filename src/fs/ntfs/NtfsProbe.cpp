#include "fs/ntfs/NtfsProbe.h"

#include <array>
#include <cstring>

namespace tavrel::fs {

bool isNtfsBootSector(ByteSpan sector, bool requireOemName) {
    if (sector.size() < 2 || sector[0] != 0xEB || sector[1] != 0x52) return false;
    if (requireOemName && (sector.size() < 7 || std::memcmp(sector.data() + 3, "NTFS", 4) != 0)) return false;
    return le16(sector, 0x0B) == 512;
}

BootMatch ntfsBootRecord(ByteSpan sector, BootTest test) {
    BootMatch m;
    if (sector.size() < 512 || !isNtfsBootSector(sector, test == BootTest::SectorScan)) return m;
    m.result = BootMatch::Result::Named;
    m.sectors = static_cast<std::int64_t>(le64(sector, 0x28));
    return m;
}

std::optional<std::int64_t> ntfsBackupPrimary(const readWriteInterface& disk, ByteSpan sector, std::int64_t here,
                                              std::int64_t sectors) {
    if (sectors <= 0 || here - sectors < 0) return std::nullopt;
    const std::int64_t primary = here - sectors;
    const auto hidden = static_cast<std::int64_t>(le32(sector, 0x1C));
    if (hidden == primary && hidden != here) return primary;
    std::array<std::uint8_t, kSectorSize> other{};
    if (static_cast<std::uint64_t>(primary) >= disk.totalSectors() || !disk.readAt(primary * kSectorSize, other))
        return std::nullopt;
    const BootMatch m = ntfsBootRecord(other, BootTest::SectorScan);
    if (m.found() && m.sectors == sectors) return primary;
    return std::nullopt;
}

}  // namespace tavrel::fs
