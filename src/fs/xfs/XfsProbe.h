// How the volume scans recognise an XFS volume (its row in the kind table
// hands this to Partition): the superblock, "XFSB", in the volume's first
// sector, under MBR type 0x83, in a GPT entry, or anywhere the sector scan
// looks. Every allocation group begins with a copy of the superblock: the
// copy of AG 1 stands for a primary that is lost, and the sector scan tells
// copies from primaries by the AG number of the free-space header that
// follows each.
#pragma once

#include <optional>

#include "util/Bytes.h"
#include "volume/FsProbe.h"

namespace tavrel::fs::xfs {

// The boot-record probe: a superblock that decodes (the magic alone is not
// enough); the volume's size is its data blocks.
BootMatch xfsBootRecord(ByteSpan sector, BootTest test);

// The superblock copy of AG 1, found one AG size in: the size AG 0's
// free-space header gives, else the sizes mkfs.xfs would choose for the
// volume's size (a few hundred small reads at most). A copy that decodes and
// whose AG size in bytes is its own offset.
std::optional<BackupRecord> findSuperblockCopy(const VolumeView& volume);

// For a superblock at disk sector `here` that is the copy of AG N > 0 (the AG
// free-space header after it says so): the disk sector of its volume's start.
std::optional<std::int64_t> superblockCopyPrimary(const readWriteInterface& disk, ByteSpan sector, std::int64_t here,
                                                  std::int64_t sectors);

}  // namespace tavrel::fs::xfs
