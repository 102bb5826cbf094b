#include "fs/hfsplus/HfsFork.h"

#include <algorithm>

namespace tavrel::fs::hfsplus {

ForkMap::ForkMap(const std::vector<HfsExtent>& extents, std::uint32_t blockSize, std::int64_t volumeBytes) {
    for (const HfsExtent& e : extents) {
        if (e.blockCount == 0) break;
        const std::int64_t start = std::int64_t{e.startBlock} * blockSize;
        if (start >= volumeBytes) break;
        const std::int64_t length = std::min(std::int64_t{e.blockCount} * blockSize, volumeBytes - start);
        runs_.push_back({mapped_, start, length});
        mapped_ += length;
        if (length < std::int64_t{e.blockCount} * blockSize) break;  // cut at the volume's end
    }
}

std::int64_t ForkMap::volumeOffset(std::int64_t forkOffset) const {
    for (const Run& r : runs_)
        if (forkOffset >= r.forkOffset && forkOffset - r.forkOffset < r.length)
            return r.volumeOffset + (forkOffset - r.forkOffset);
    return -1;
}

std::int64_t ForkMap::contiguousFrom(std::int64_t forkOffset) const {
    for (const Run& r : runs_)
        if (forkOffset >= r.forkOffset && forkOffset - r.forkOffset < r.length)
            return r.length - (forkOffset - r.forkOffset);
    return 0;
}

bool ForkMap::read(const VolumeView& volume, std::int64_t forkOffset, MutableByteSpan out) const {
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    std::size_t done = 0;
    bool ok = true;
    for (const Run& r : runs_) {
        if (done == out.size()) break;
        const std::int64_t at = forkOffset + static_cast<std::int64_t>(done);
        if (at < r.forkOffset || at - r.forkOffset >= r.length) continue;
        const std::int64_t inRun = at - r.forkOffset;
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(r.length - inRun, out.size() - done));
        ok = volume.readAt(r.volumeOffset + inRun, out.subspan(done, n)) && ok;
        done += n;
    }
    return ok && done == out.size();
}

std::vector<Extent> ForkMap::extents(std::int64_t size) const {
    std::vector<Extent> out;
    for (const Run& r : runs_) {
        if (r.forkOffset >= size) break;
        out.push_back({r.volumeOffset, std::min(r.length, size - r.forkOffset)});
    }
    return out;
}

}  // namespace tavrel::fs::hfsplus
