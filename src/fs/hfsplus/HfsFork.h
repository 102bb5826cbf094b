// Where a fork's bytes lie in the volume: its extents in file order, each a run
// of allocation blocks. The B-tree files (catalog, extents overflow) and file
// content are read through this, so a fork split over many extents, including
// those kept in the extents-overflow file, reads like one contiguous file.
#pragma once

#include <cstdint>
#include <vector>

#include "fs/ExtentCopy.h"
#include "fs/hfsplus/HfsFormat.h"
#include "image/VolumeView.h"

namespace tavrel::fs::hfsplus {

class ForkMap {
public:
    ForkMap() = default;
    // Extents past the volume's end are cut there; an empty extent ends the list.
    ForkMap(const std::vector<HfsExtent>& extents, std::uint32_t blockSize, std::int64_t volumeBytes);

    // Bytes of the fork the extents cover.
    std::int64_t mappedBytes() const { return mapped_; }
    // The volume offset of a fork byte, or -1 when no extent covers it.
    std::int64_t volumeOffset(std::int64_t forkOffset) const;
    // Bytes from a fork byte to the end of the extent that holds it (0 when
    // none does): how far the fork runs on in the volume without a jump.
    std::int64_t contiguousFrom(std::int64_t forkOffset) const;
    // Reads fork bytes that may span several extents; false (zeros where
    // missing) when any part is not mapped or cannot be read.
    bool read(const VolumeView& volume, std::int64_t forkOffset, MutableByteSpan out) const;
    // The first `size` bytes as volume extents, for copyExtents.
    std::vector<Extent> extents(std::int64_t size) const;

private:
    struct Run {
        std::int64_t forkOffset;
        std::int64_t volumeOffset;
        std::int64_t length;
    };
    std::vector<Run> runs_;
    std::int64_t mapped_ = 0;
};

}  // namespace tavrel::fs::hfsplus
