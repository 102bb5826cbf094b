// How the GPT scan recognises an ext volume (its row in the kind table hands
// this to Partition): the superblock's magic in the sector at volume byte 1024.
// Under MBR type 0x83 ext is the kind whenever no other kind's boot record is
// found; refusing what is no ext volume is the parser's part (ForeignSignature.h).
#pragma once

#include "util/Bytes.h"

namespace tavrel::fs::ext {

// True when `sector` (read at volume byte 1024) begins an ext superblock.
bool hasExtSuperblockMagic(ByteSpan sector);

}  // namespace tavrel::fs::ext
