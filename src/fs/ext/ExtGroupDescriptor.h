// One block-group descriptor (32 bytes, or s_desc_size bytes on 64-bit
// volumes): where the group's inode table lies and how much of it was ever used.
#pragma once

#include <cstdint>
#include <vector>

#include "fs/ext/ExtSuperblock.h"

namespace tavrel::fs::ext {

inline constexpr std::uint16_t kGroupInodesUninit = 0x0001;
inline constexpr std::uint16_t kGroupBlocksUninit = 0x0002;  // the block bitmap was never written

struct ExtGroup {
    std::uint64_t inodeTable = 0;   // first block of the group's inode table
    std::uint64_t blockBitmap = 0;  // block of the group's block bitmap
    std::uint16_t flags = 0;
    std::uint32_t unusedInodes = 0;  // inodes at the table's end never handed out
};

// Decodes the descriptor at the start of `bytes` (the high halves only when
// the superblock says descriptors are 64 bytes or more).
ExtGroup decodeGroupDescriptor(ByteSpan bytes, const ExtSuperblock& sb);

// The number of inode slots of a group worth reading: all of them, less the
// never-used tail and nothing at all for a table never initialised, when the
// volume keeps group checksums that vouch for those fields.
std::uint32_t usedInodeSlots(const ExtGroup& g, const ExtSuperblock& sb);

// Whether a group's unused-inode count and flags can be true at all: a count
// no larger than the group's inodes, and for group 0 (which holds the root
// folder and the reserved inodes) no "never initialised" flag and its
// reserved inodes counted as used. A volume without group checksums keeps
// neither field, so there is nothing to doubt.
bool plausibleCounts(const ExtGroup& g, std::uint64_t group, const ExtSuperblock& sb);

// The groups after group 0 that keep a backup superblock and descriptor table,
// in rising order below `groupCount`, at most `limit` of them: 1, then the
// powers of 3, 5 and 7 (3, 5, 7, 9, 25, 27, 49, ...).
std::vector<std::uint64_t> backupGroups(std::uint64_t groupCount, std::size_t limit);

// The volume byte offset of group `g`'s descriptor: in the table after the
// superblock's block, or, for groups past s_first_meta_bg on meta_bg volumes,
// in the first block of their meta group (after its superblock backup, if any).
std::int64_t groupDescriptorOffset(const ExtSuperblock& sb, std::int64_t superblockOffset, std::uint64_t g);

}  // namespace tavrel::fs::ext
