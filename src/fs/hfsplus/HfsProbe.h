// How the volume scans recognise an HFS+ volume (its row in the kind table
// hands these to Partition): by its volume header, 1024 bytes into the volume.
#pragma once

#include "util/Bytes.h"
#include "volume/FsProbe.h"

namespace tavrel::fs::hfsplus {

// The volume header test: the sector begins "H+" (or "HX" for HFSX, the
// case-sensitive variant, read the same way), then a zero.
bool isHfsPlusHeader(ByteSpan sector);

// The boot-record probe: the sector scan only (the partition-table scan looks
// at a partition's third sector with isHfsPlusHeader). The volume starts two
// sectors before the header; its size is block size x total blocks.
BootMatch hfsPlusBootRecord(ByteSpan sector, BootTest test);

}  // namespace tavrel::fs::hfsplus
