// How the volume scans recognise an XFS volume (its row in the kind table
// hands this to Partition): the superblock, "XFSB", in the volume's first
// sector, under MBR type 0x83, in a GPT entry, or anywhere the sector scan
// looks.
#pragma once

#include "util/Bytes.h"
#include "volume/FsProbe.h"

namespace tavrel::fs::xfs {

// The boot-record probe: a superblock that decodes (the magic alone is not
// enough); the volume's size is its data blocks.
BootMatch xfsBootRecord(ByteSpan sector, BootTest test);

}  // namespace tavrel::fs::xfs
