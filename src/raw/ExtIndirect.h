// Carving on ext2/ext3: a file of more than twelve blocks keeps the numbers of
// its further blocks in indirect blocks, and the allocator puts each one among
// the file's own data, just before the data blocks it maps. Read as one run,
// such a file holds a block of block numbers after its 12th data block, two
// (double, then single indirect) after the next block_size/4 data blocks, one
// after every block_size/4 data blocks from there on, and three (triple, double,
// single) where the triple-indirect range begins. A carved file that starts on a
// block boundary is read with those blocks left out where they are there.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "image/VolumeView.h"
#include "util/Bytes.h"

namespace tavrel::raw {

struct ExtGeometry {
    std::int64_t blockSize = 0;
    std::uint64_t blockCount = 0;
};

// True when the volume holds a valid ext superblock at byte 1024.
bool hasExtSuperblock(const VolumeView& volume);

// The geometry of an ext volume whose files may have indirect blocks: a valid
// superblock at volume byte 1024 of a volume without the extents feature.
// nullopt for any other volume.
std::optional<ExtGeometry> indirectGeometryOf(const VolumeView& volume);

// True when `block` holds nothing but block numbers as an indirect block does:
// one or more little-endian 32-bit numbers, each nonzero, below blockCount and
// above the one before, then zeros up to the end.
bool looksLikeIndirectBlock(ByteSpan block, std::uint64_t blockCount);

// Where the bytes of one carved file lie when it starts at volume offset
// `start` (a block boundary) and its indirect blocks sit among its data. The
// places where indirect blocks may stand are looked at lazily, in file order,
// as far as the file is read.
class IndirectSkipper {
public:
    IndirectSkipper(const VolumeView& volume, ExtGeometry geometry, std::int64_t start);

    // The volume offset of the file's byte `at` (at >= 0).
    std::int64_t volumeOffset(std::int64_t at);
    // File bytes from the start up to the next place an indirect block may
    // stand, as far as `at` lies in one run: the volume bytes from
    // volumeOffset(at) on are the file's up to the returned file offset.
    std::int64_t runEnd(std::int64_t at);
    // Volume offsets of the indirect blocks left out so far, ascending.
    const std::vector<std::int64_t>& skipped() const { return skipped_; }

private:
    void examineNext();

    const VolumeView& volume_;
    ExtGeometry geometry_;
    std::int64_t start_;
    std::int64_t perBlock_;    // block numbers one indirect block holds
    std::int64_t boundary_;    // file offset of the next place not looked at yet
    std::int64_t place_ = 0;   // how many places were looked at
    // File offset of each place looked at, with the bytes skipped before it and
    // those skipped at it.
    struct Place {
        std::int64_t at;
        std::int64_t shiftAfter;
    };
    std::vector<Place> places_;
    std::vector<std::int64_t> skipped_;
    std::vector<std::uint8_t> block_;
};

}  // namespace tavrel::raw
