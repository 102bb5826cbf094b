// The inode B+tree of each allocation group: where its inode chunks (64 inodes
// each) lie and which of their inodes are in use. Deep mode reads every chunk
// through it. The AG's inode header (AGI, in the AG's third sector) holds the
// tree's root block and level.
//
// The walk is bounded: at most 8 levels, each node's level one below its
// parent's, record counts within the node, each block read once per AG.
#pragma once

#include <cstdint>
#include <vector>

#include "fs/xfs/XfsSuperblock.h"
#include "image/VolumeView.h"

namespace tavrel::fs::xfs {

inline constexpr std::uint32_t kAgiMagic = 0x58414749;  // "XAGI"
inline constexpr std::size_t kChunkInodes = 64;

// One inode chunk record (AG-relative first inode number).
struct InodeChunk {
    std::uint32_t firstAgInode = 0;
    std::uint16_t holes = 0;     // sparse chunks: one bit per 4 inodes not allocated
    std::uint64_t freeMask = 0;  // one bit per free inode
    bool inUse(std::size_t i) const {
        return i < kChunkInodes && !((holes >> (i / 4)) & 1u) && !((freeMask >> i) & 1u);
    }
    bool present(std::size_t i) const { return i < kChunkInodes && !((holes >> (i / 4)) & 1u); }
};

struct InobtBlock {
    std::uint16_t level = 0;
    std::uint16_t records = 0;
    std::size_t header = 0;
};

// Decodes a tree block's header ("IABT", or "IAB3" with CRCs); nullopt when
// the magic is wrong or the record count does not fit.
std::optional<InobtBlock> decodeInobtBlock(ByteSpan block, bool crcs);

// Decodes a leaf record; `sparse` when the volume has sparse inode chunks.
InodeChunk decodeInodeChunk(ByteSpan record, bool sparse);

struct AgChunks {
    std::vector<InodeChunk> chunks;
    bool damaged = false;
    std::int64_t where = -1;
    CrcFailures crc;  // tree blocks failing their checksum
};

// Every chunk record of AG `ag`, bounded by `maxChunks`.
AgChunks readAgChunks(const VolumeView& volume, const XfsSuperblock& sb, std::uint32_t ag, std::size_t maxChunks);

}  // namespace tavrel::fs::xfs
