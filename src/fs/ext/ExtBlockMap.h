// Where an inode's content lies: its extent tree (any depth) or its block map
// (12 direct pointers, then single, double and triple indirect blocks), turned
// into volume extents in file order. Holes (a gap between extents, a zero
// pointer, an uninitialised extent) become zero-filled holes, so later data
// keeps its place in the file.
//
// Every walk is bounded: by the blocks the file's size needs (and a size whose
// bytes no signed 64-bit offset reaches is cut there), by the volume's block
// count, by an extent tree depth of 5, and by the number of index or indirect
// blocks it may read. Each index or indirect block is read once per walk, and
// once per scan when the scan passes its set of blocks already read: a block
// that two trees (or two places of one tree) name is damage, not read again.
#pragma once

#include <cstdint>
#include <unordered_set>
#include <vector>

#include "fs/ExtentCopy.h"
#include "fs/ext/ExtInode.h"
#include "fs/ext/ExtSuperblock.h"

namespace tavrel::fs::ext {

struct BlockMapResult {
    ExtentList extents;        // in bytes; covers at most the blocks the size needs
    std::int64_t mapped = 0;   // blocks that map to data (not holes)
    bool damaged = false;      // a node or pointer failed its checks
    std::int64_t where = -1;   // volume offset of the first damage
};

class ExtBlockMapper {
public:
    ExtBlockMapper(const VolumeView& volume, const ExtSuperblock& sb, Warnings* warnings,
                   std::unordered_set<std::uint64_t>* readOnce = nullptr)
        : volume_(volume), blockSize_(sb.blockSize()), blocksCount_(sb.blocksCount), warnings_(warnings),
          readOnce_(readOnce) {}

    // The extents of the first `bytes` bytes of the inode's content. When
    // `padTail` is set, blocks past the last mapped one are a hole (a sparse
    // file's end); otherwise the list stops with the map.
    BlockMapResult map(const ExtInode& inode, std::uint64_t bytes, bool padTail) const;

private:
    struct Leaf {
        std::uint64_t logical;
        std::uint64_t physical;
        std::uint32_t length;
        bool uninitialised;
    };
    struct Walk;
    void extentNode(ByteSpan node, int expectedDepth, Walk& w) const;
    void indirect(std::uint64_t pointer, int level, Walk& w) const;
    void emit(Walk& w, std::uint64_t logical, std::uint64_t physical, std::uint64_t count, bool hole) const;
    bool readBlock(std::uint64_t block, std::vector<std::uint8_t>& out, Walk& w) const;

    const VolumeView& volume_;
    std::int64_t blockSize_;
    std::uint64_t blocksCount_;
    Warnings* warnings_;
    std::unordered_set<std::uint64_t>* readOnce_;
};

}  // namespace tavrel::fs::ext
