#include "fs/fat/FatProbe.h"

#include <array>
#include <cstring>

namespace tavrel::fs::fat {

namespace {

bool isPowerOfTwo(std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

bool hasMsdoName(ByteSpan sector) { return sector.size() >= 7 && std::memcmp(sector.data() + 3, "MSDO", 4) == 0; }

// exFAT's boot sector also begins with a FAT jump: its name keeps it out of the FAT probes.
bool namesExFat(ByteSpan sector) { return sector.size() >= 7 && std::memcmp(sector.data() + 3, "EXFA", 4) == 0; }

// A FAT12/16/32 boot sector: a FAT jump, not exFAT's, and "MSDO" or a sound BPB.
bool isFatFamilyBootSector(ByteSpan sector) {
    return sector.size() >= 512 && hasFatJump(sector) && !namesExFat(sector) &&
           (hasMsdoName(sector) || hasSoundFatBpb(sector));
}

// FAT32's first FAT begins with the media byte 0xF8 in entry 0 (in 28 bits).
bool fat32Starts(ByteSpan s) { return (le32(s, 0) & 0x0FFFFFFF) == 0x0FFFFFF8; }

bool readSector(const readWriteInterface& disk, std::int64_t sector, std::array<std::uint8_t, kSectorSize>& out) {
    if (sector < 0 || static_cast<std::uint64_t>(sector) >= disk.totalSectors()) return false;
    return disk.readAt(sector * kSectorSize, out);
}

}  // namespace

bool hasFatJump(ByteSpan sector) {
    if (sector.size() < 2 || sector[0] != 0xEB) return false;
    return sector[1] == 0x3C || sector[1] == 0x58 || sector[1] == 0x76;
}

bool hasSoundFatBpb(ByteSpan sector) {
    if (sector.size() < 512) return false;
    const std::uint16_t bytesPerSector = le16(sector, 0x0B);
    const std::uint8_t sectorsPerCluster = sector[0x0D];
    const std::uint16_t reserved = le16(sector, 0x0E);
    const std::uint8_t fatCount = sector[0x10];
    const std::uint16_t rootEntries = le16(sector, 0x11);
    const std::uint8_t media = sector[0x15];
    const std::uint16_t fatSectors16 = le16(sector, 0x16);
    if (bytesPerSector < 512 || bytesPerSector > 4096 || !isPowerOfTwo(bytesPerSector)) return false;
    if (!isPowerOfTwo(sectorsPerCluster) || reserved == 0 || fatCount < 1 || fatCount > 2) return false;
    if (media != 0xF0 && media < 0xF8) return false;
    if (le16(sector, 0x13) == 0 && le32(sector, 0x20) == 0) return false;
    if (sector[510] != 0x55 || sector[511] != 0xAA) return false;
    if (fatSectors16 == 0) return le32(sector, 0x24) != 0 && rootEntries == 0;  // FAT32
    return rootEntries != 0;                                                     // FAT12/16
}

// The total-sector fields are read unsigned: a FAT16 volume of 32768..65535
// sectors keeps its size in the 16-bit field, a FAT32 volume of 1 TiB or more
// has the top bit of the 32-bit field set.
BootMatch fat16BootRecord(ByteSpan sector, BootTest test) {
    BootMatch m;
    if (!isFatFamilyBootSector(sector)) return m;
    const std::uint16_t fatSectors = le16(sector, 0x16);
    if (fatSectors == 0) return m;  // FAT32's
    if (fatSectors == 200 || fatSectors == 256 || (test == BootTest::SectorScan && fatSectors == 128) ||
        hasSoundFatBpb(sector)) {
        m.result = BootMatch::Result::Named;
        m.sectors = le16(sector, 0x13);
        if (m.sectors == 0) m.sectors = le32(sector, 0x20);
    } else {
        m.result = BootMatch::Result::Unnamed;
    }
    return m;
}

BootMatch fat32BootRecord(ByteSpan sector, BootTest) {
    BootMatch m;
    if (!isFatFamilyBootSector(sector) || le16(sector, 0x16) != 0) return m;
    m.result = BootMatch::Result::Named;
    m.sectors = le32(sector, 0x20);
    return m;
}

bool isFat32BackupBootSector(ByteSpan sector, std::uint32_t bytesPerSector) {
    if (sector.size() < 512 || !fat32BootRecord(sector, BootTest::PartitionTable).found()) return false;
    return le16(sector, 0x0B) == bytesPerSector && le16(sector, 0x32) == kFat32BackupSector && sector[510] == 0x55 &&
           sector[511] == 0xAA;
}

std::optional<BackupRecord> findFat32Backup(const VolumeView& volume) {
    std::vector<std::uint8_t> bytes(512);
    for (std::uint32_t bps = 512; bps <= 4096; bps *= 2) {
        const std::int64_t at = kFat32BackupSector * bps;
        if (volume.readAt(at, bytes) && isFat32BackupBootSector(bytes, bps)) return BackupRecord{at, bytes};
    }
    return std::nullopt;
}

std::optional<std::int64_t> backupPrimaryByFat(const readWriteInterface& disk, std::int64_t here,
                                               std::int64_t sectors, std::int64_t distance, std::int64_t fatSector,
                                               BootRecordProbe probe, bool (*fatStarts)(ByteSpan sector)) {
    const std::int64_t primary = here - distance;
    if (distance < 1 || distance >= 64 || primary < 0) return std::nullopt;
    std::array<std::uint8_t, kSectorSize> s{};
    if (readSector(disk, primary, s)) {
        const BootMatch m = probe(s, BootTest::SectorScan);
        if (m.result == BootMatch::Result::Named && m.sectors == sectors) return primary;
    }
    auto fatAt = [&](std::int64_t sector) { return sector >= 0 && readSector(disk, sector, s) && fatStarts(s); };
    if (fatSector > 0 && fatAt(primary + fatSector) && !fatAt(here + fatSector)) return primary;
    return std::nullopt;
}

std::optional<std::int64_t> fat32BackupPrimary(const readWriteInterface& disk, ByteSpan sector, std::int64_t here,
                                               std::int64_t sectors) {
    return backupPrimaryByFat(disk, here, sectors, le16(sector, 0x32), le16(sector, 0x0E), &fat32BootRecord,
                              &fat32Starts);
}

}  // namespace tavrel::fs::fat
