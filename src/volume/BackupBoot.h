// The backup boot records FAT32 and exFAT keep near the start of their volume,
// for a volume whose first sector is unusable (zeroed, overwritten, unreadable):
//  - FAT32 keeps a copy of its boot sector in sector 6, the place every
//    formatter uses. A damaged first sector cannot name another place, so only
//    sector 6 is looked at; the copy must name sector 6 as its own place and
//    end with the 0x55AA signature.
//  - exFAT keeps a copy of its whole boot region (12 sectors) from sector 12;
//    the region's last sector repeats the checksum of the 11 before it, which
//    must match.
// Sectors of 512 to 4096 bytes are tried; a copy counts only when it names the
// sector size it was found with.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "image/VolumeView.h"
#include "util/Bytes.h"
#include "volume/BootSector.h"

namespace tavrel {

inline constexpr std::int64_t kFat32BackupSector = 6;
inline constexpr std::int64_t kExFatBackupSector = 12;
inline constexpr std::int64_t kExFatBootRegionSectors = 12;

// exFAT's boot checksum over the first 11 sectors of a boot region (`sectors`),
// leaving out the volume flags (bytes 106, 107) and the percent in use (112).
std::uint32_t exFatBootChecksum(ByteSpan sectors);

// True when `region` holds a sound exFAT boot region of sectors of
// `bytesPerSector` bytes: an exFAT boot sector naming that sector size, and a
// twelfth sector filled with the checksum of the eleven before it.
bool isSoundExFatBootRegion(ByteSpan region, std::uint32_t bytesPerSector);

// True when `sector`, read at sector 6 of a volume with sectors of
// `bytesPerSector` bytes, is the backup copy of a FAT32 boot sector.
bool isFat32BackupBootSector(ByteSpan sector, std::uint32_t bytesPerSector);

struct BackupBootRecord {
    BootKind kind = BootKind::None;    // Fat32 or ExFat
    std::int64_t offset = 0;           // volume byte offset of the copy
    std::vector<std::uint8_t> sector;  // the copy's first 512 bytes
};

// The backup boot record of `volume`, if it keeps a sound one (at most five
// small reads); nullopt otherwise.
std::optional<BackupBootRecord> findBackupBootRecord(const VolumeView& volume);

}  // namespace tavrel
