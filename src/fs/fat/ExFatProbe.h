// How the volume scans recognise an exFAT volume (its row in the kind table
// hands these to Partition), and exFAT's backup boot region: a copy of the
// whole boot region (12 sectors) from sector 12, whose last sector repeats the
// checksum of the 11 before it. Sectors of 512 to 4096 bytes are tried; a copy
// counts only when it names the sector size it was found with.
#pragma once

#include <cstdint>
#include <optional>

#include "image/VolumeView.h"
#include "image/readWriteInterface.h"
#include "util/Bytes.h"
#include "volume/FsProbe.h"

namespace tavrel::fs::fat {

inline constexpr std::int64_t kExFatBackupSector = 12;
inline constexpr std::int64_t kExFatBootRegionSectors = 12;

// exFAT test: byte 0 is 0xEB, byte 1 is 0x3C, 0x58 or 0x76, bytes 3..6 are "EXFA".
bool isExfatBootSector(ByteSpan sector);

// The boot-record probe (both levels alike); the size is the volume-length field.
BootMatch exFatBootRecord(ByteSpan sector, BootTest test);

// exFAT's boot checksum over the first 11 sectors of a boot region (`sectors`),
// leaving out the volume flags (bytes 106, 107) and the percent in use (112).
std::uint32_t exFatBootChecksum(ByteSpan sectors);

// True when `region` holds a sound exFAT boot region of sectors of
// `bytesPerSector` bytes: an exFAT boot sector naming that sector size, and a
// twelfth sector filled with the checksum of the eleven before it.
bool isSoundExFatBootRegion(ByteSpan region, std::uint32_t bytesPerSector);

std::optional<BackupRecord> findExFatBackup(const VolumeView& volume);

// The first sector of the volume whose backup boot sector this is (12 sectors
// in), told apart by a sound primary or, when that is lost, by where the
// record's FAT offset leads (exFAT's FAT entry 0 is 0xFFFFFFF8, entry 1 0xFFFFFFFF).
std::optional<std::int64_t> exFatBackupPrimary(const readWriteInterface& disk, ByteSpan sector, std::int64_t here,
                                               std::int64_t sectors);

}  // namespace tavrel::fs::fat
