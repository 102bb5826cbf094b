// Boot-record recognisers: pure tests of one 512-byte sector (bytes in, result
// out). The partition-table scan uses them on a partition's first sector, the
// advanced scan on every sector of the disk, and the parsers may use them to
// check the sector they attach to.
//
// Two strictness levels (BootTest):
//  - PartitionTable: the partition's first sector; NTFS is known by its jump
//    bytes and 512-byte sectors alone, FAT16 by 200 or 256 sectors per FAT.
//  - SectorScan: any sector of the disk; NTFS must also carry the "NTFS" OEM
//    name, and FAT16 also accepts 128 sectors per FAT.
// A FAT boot sector is taken when its OEM name begins "MSDO" (as Windows writes
// it), or, whatever its OEM name, when its BIOS parameter block is sound
// (mkfs.fat writes "mkfs.fat", mtools "MTOO...", other tools their own).
#pragma once

#include <cstdint>

#include "util/Bytes.h"
#include "volume/FsProbe.h"

namespace tavrel {

enum class BootKind {
    None,        // not a boot record this scan knows
    Ntfs,        // "NTFS"
    Fat16,       // "FAT16" (FAT12 volumes too: they are parsed as FAT16)
    Fat32,       // "FAT32"
    FatUnknown,  // "MSDO" boot sector whose sectors-per-FAT names no kind: "found unknown..."
    ExFat,       // "FAT64"
    HfsPlus,     // "HFS+" volume header (found 1024 bytes into the volume)
};

struct BootSectorMatch {
    BootKind kind = BootKind::None;
    // Volume size in sectors as the record claims it; <= 0 when it claims none.
    // For NTFS the total-sectors field, which leaves out the backup boot sector
    // that ends the volume.
    std::int64_t sectors = 0;
    // The volume starts this many sectors before the tested sector (2 for HFS+).
    std::int64_t sectorsBefore = 0;
};

// The file-system name a kind gives a VolumeRecord ("NTFS", "FAT16", "FAT32",
// "FAT64", "HFS+"); empty for None and FatUnknown.
const char* fsNameOf(BootKind kind);

// exFAT test: byte 0 is 0xEB, byte 1 is 0x3C, 0x58 or 0x76, bytes 3..6 are "EXFA".
bool isExfatBootSector(ByteSpan sector);

// HFS+ volume header test: the sector begins "H+" (or "HX" for HFSX), then a zero.
bool isHfsPlusHeader(ByteSpan sector);

// NTFS: bytes 0..1 are EB 52 and the bytes per sector (0x0B) are 512; with
// requireOemName also bytes 3..6 are "NTFS".
bool isNtfsBootSector(ByteSpan sector, bool requireOemName);

// A FAT BIOS parameter block that holds together: 512..4096 bytes per sector, a
// power-of-two cluster, reserved sectors, one or two FATs, a media byte, a total
// sector count and the 0x55AA signature; FAT32 (16-bit sectors per FAT 0) with a
// 32-bit FAT size and no fixed root directory, FAT12/16 with a root directory.
bool hasSoundFatBpb(ByteSpan sector);

// The boot-record test of one sector at the given strictness. HFS+ headers are
// recognised only by the SectorScan test (the partition-table scan looks for them
// at a partition's third sector with isHfsPlusHeader).
BootSectorMatch testBootSector(ByteSpan sector, BootTest test);

}  // namespace tavrel
