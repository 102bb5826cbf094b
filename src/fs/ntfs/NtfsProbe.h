// How the volume scans recognise an NTFS volume (its row in the kind table
// hands these to Partition): the boot sector, and its backup copy in the
// sector after the counted ones.
#pragma once

#include <cstdint>
#include <optional>

#include "image/readWriteInterface.h"
#include "util/Bytes.h"
#include "volume/FsProbe.h"

namespace tavrel::fs {

// NTFS: bytes 0..1 are EB 52 and the bytes per sector (0x0B) are 512; with
// requireOemName also bytes 3..6 are "NTFS".
bool isNtfsBootSector(ByteSpan sector, bool requireOemName);

// The boot-record probe. PartitionTable: the jump bytes and 512-byte sectors
// alone; SectorScan: also the "NTFS" OEM name. The size is the total-sectors
// field, which leaves out the backup boot sector that ends the volume.
BootMatch ntfsBootRecord(ByteSpan sector, BootTest test);

// The first sector of the volume whose backup boot sector this is, if it is
// one. The backup follows the counted sectors, and the hidden-sectors field
// (which names the volume's first sector when the volume lies in a partition)
// tells the two copies apart, else a sound primary of the same size does.
std::optional<std::int64_t> ntfsBackupPrimary(const readWriteInterface& disk, ByteSpan sector, std::int64_t here,
                                              std::int64_t sectors);

}  // namespace tavrel::fs
