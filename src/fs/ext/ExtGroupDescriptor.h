// One block-group descriptor (32 bytes, or s_desc_size bytes on 64-bit
// volumes): where the group's inode table lies and how much of it was ever used.
#pragma once

#include <cstdint>

#include "fs/ext/ExtSuperblock.h"

namespace tavrel::fs::ext {

inline constexpr std::uint16_t kGroupInodesUninit = 0x0001;

struct ExtGroup {
    std::uint64_t inodeTable = 0;   // first block of the group's inode table
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

// The volume byte offset of group `g`'s descriptor: in the table after the
// superblock's block, or, for groups past s_first_meta_bg on meta_bg volumes,
// in the first block of their meta group (after its superblock backup, if any).
std::int64_t groupDescriptorOffset(const ExtSuperblock& sb, std::int64_t superblockOffset, std::uint64_t g);

}  // namespace tavrel::fs::ext
