// How the volume scans recognise FAT12/16 and FAT32 volumes (their rows in the
// kind table hand these to Partition), and FAT32's backup boot sector.
//
// A FAT boot sector is taken when its OEM name begins "MSDO" (as Windows writes
// it), or, whatever its OEM name, when its BIOS parameter block is sound
// (mkfs.fat writes "mkfs.fat", mtools "MTOO...", other tools their own). The
// partition-table level knows FAT16 by 200 or 256 sectors per FAT, the sector
// scan also by 128. An "MSDO" boot sector naming neither is the FAT16 probe's
// Unnamed match ("found unknown...").
#pragma once

#include <cstdint>
#include <optional>

#include "image/VolumeView.h"
#include "image/readWriteInterface.h"
#include "util/Bytes.h"
#include "volume/FsProbe.h"

namespace tavrel::fs::fat {

inline constexpr std::int64_t kFat32BackupSector = 6;

// Byte 0 is 0xEB and byte 1 is 0x3C, 0x58 or 0x76: the jumps FAT and exFAT boot sectors begin with.
bool hasFatJump(ByteSpan sector);

// A FAT BIOS parameter block that holds together: 512..4096 bytes per sector, a
// power-of-two cluster, reserved sectors, one or two FATs, a media byte, a total
// sector count and the 0x55AA signature; FAT32 (16-bit sectors per FAT 0) with a
// 32-bit FAT size and no fixed root directory, FAT12/16 with a root directory.
bool hasSoundFatBpb(ByteSpan sector);

// The boot-record probes (FAT12 volumes are FAT16's: they are parsed alike).
BootMatch fat16BootRecord(ByteSpan sector, BootTest test);
BootMatch fat32BootRecord(ByteSpan sector, BootTest test);

// True when `sector`, read at sector 6 of a volume with sectors of
// `bytesPerSector` bytes, is the backup copy of a FAT32 boot sector: it names
// sector 6 as its own place and ends with the 0x55AA signature. A damaged first
// sector cannot name another place, so only sector 6 (every formatter's) is
// looked at; sectors of 512 to 4096 bytes are tried.
bool isFat32BackupBootSector(ByteSpan sector, std::uint32_t bytesPerSector);
std::optional<BackupRecord> findFat32Backup(const VolumeView& volume);

// The first sector of the volume whose backup boot record this is, if it is
// one. FAT32 names the backup's distance (usually 6) in its own record. When
// the primary is lost, the FAT tells them apart: the record's own FAT offset
// leads to a FAT only when counted from the volume's true start.
std::optional<std::int64_t> fat32BackupPrimary(const readWriteInterface& disk, ByteSpan sector, std::int64_t here,
                                               std::int64_t sectors);

// The shared part of FAT32's and exFAT's backupPrimary: the backup lies
// `distance` sectors after the primary, the first FAT `fatSector` sectors after
// it; `probe` knows the kind's record, `fatStarts` the first sector of its FAT.
std::optional<std::int64_t> backupPrimaryByFat(const readWriteInterface& disk, std::int64_t here,
                                               std::int64_t sectors, std::int64_t distance, std::int64_t fatSector,
                                               BootRecordProbe probe, bool (*fatStarts)(ByteSpan sector));

}  // namespace tavrel::fs::fat
