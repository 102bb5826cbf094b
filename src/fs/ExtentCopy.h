// Copying a file's content from extents of its volume to a ByteSink: runs of
// clusters or blocks, holes that read as zeros, in file order. Shared by every
// parser's saveFile and by carving.
//
// The copy is bounded by the file's size (never more is written), by the volume
// (an extent past its end is cut there) and reads at most 1 MiB at a time.
// A range that cannot be read is written as zeros, so later bytes keep their
// offsets, and counted as a warning. Holes, ranges off the volume and blocks
// the image does not store go to the sink's skip (a hole in a host file); the
// sink is first asked whether it has room for the stored bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "fs/Parser.h"

namespace tavrel::fs {

// `length` bytes at volume byte `offset`; a hole (zeros) when offset is negative.
struct Extent {
    std::int64_t offset = 0;
    std::int64_t length = 0;
    bool hole() const { return offset < 0; }
};

// Collects extents in file order, merging one that continues the previous one.
class ExtentList {
public:
    void add(std::int64_t offset, std::int64_t length);
    void addHole(std::int64_t length) { add(-1, length); }
    const std::vector<Extent>& extents() const { return extents_; }
    std::int64_t total() const { return total_; }
    bool empty() const { return extents_.empty(); }

private:
    std::vector<Extent> extents_;
    std::int64_t total_ = 0;
};

enum class CopyResult {
    Complete,     // all `size` bytes were read and written
    Incomplete,   // written, but some ranges were unreadable, outside the volume or missing
    WriteFailed,  // the sink refused a write, or has no room for the content
    Stopped,      // a stop request ended the copy
};

// Writes the first `size` bytes described by the extents. Content the extents do
// not reach is not written (the file stays short and the result is Incomplete).
CopyResult copyExtents(const VolumeView& volume, const std::vector<Extent>& extents, std::int64_t size,
                       ByteSink& out, WorkControl& work, Warnings* warnings);

}  // namespace tavrel::fs
