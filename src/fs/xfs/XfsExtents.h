// Where an inode's data lies: the extent records of its data fork, held in the
// inode (extents form) or in a B+tree whose root is in the inode (btree form),
// and their translation into volume extents in file order. Unwritten extents
// and gaps become holes (zeros), so later data keeps its place in the file.
//
// Every walk is bounded: a tree of at most 9 levels, each node's level one
// below its parent's, record counts within the node, each tree block read at
// most once, and at most kMaxExtentRecords records; damage is reported, not
// guessed around.
#pragma once

#include <cstdint>
#include <vector>

#include "fs/ExtentCopy.h"
#include "fs/xfs/XfsInode.h"
#include "fs/xfs/XfsSuperblock.h"

namespace tavrel::fs::xfs {

inline constexpr std::size_t kMaxExtentRecords = std::size_t{1} << 22;

// One extent record: `count` file-system blocks from file block `fileBlock`
// stored at file-system block `fsBlock`.
struct XfsExtent {
    std::uint64_t fileBlock = 0;
    std::uint64_t fsBlock = 0;
    std::uint64_t count = 0;
    bool unwritten = false;  // allocated but never written: reads as zeros
};

// Decodes one 16-byte record.
XfsExtent decodeExtent(ByteSpan record);

// The header of a B+tree block of a data fork ("BMAP", or "BMA3" with CRCs).
struct BmapBlock {
    std::uint16_t level = 0;
    std::uint16_t records = 0;
    std::size_t header = 0;  // bytes before the first record or key
};
// Decodes a tree block's header; nullopt when the magic is wrong or the
// record count does not fit the block.
std::optional<BmapBlock> decodeBmapBlock(ByteSpan block, bool crcs);

struct ExtentMap {
    std::vector<XfsExtent> records;  // in file order
    bool damaged = false;
    std::int64_t where = -1;  // volume offset of the first damage
    CrcFailures crc;          // tree blocks failing their checksum
};

// Reads the extent records of an inode's data fork (extents or btree form).
ExtentMap mapDataFork(const XfsInode& inode, const VolumeView& volume, const XfsSuperblock& sb);

// The volume extents of the first `bytes` bytes of content: records in file
// order, gaps and unwritten records as holes, a hole up to `bytes` past the
// last record. Records that name no block of the volume are holes and make
// `damaged` true.
ExtentList contentExtents(const ExtentMap& map, std::uint64_t bytes, const XfsSuperblock& sb, bool& damaged);

}  // namespace tavrel::fs::xfs
