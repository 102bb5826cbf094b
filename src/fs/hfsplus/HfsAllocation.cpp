// The allocation map of an HFS+ volume, from its allocation file (file ID 6:
// one bit per allocation block, highest bit first), whose further extents may
// lie in the extents-overflow file. A volume scanned without a usable header
// has no map. Where a file's blocks lie: its data fork's extents.
#include <algorithm>

#include "fs/hfsplus/HFSP.h"

namespace tavrel::fs {

using namespace hfsplus;

namespace {
constexpr std::uint32_t kAllocationFileId = 6;
}  // namespace

std::unique_ptr<AllocationMap> HFSP::readAllocationMap() const {
    if (headerless_ || blockSize_ == 0 || header_.totalBlocks == 0) return nullptr;
    const std::uint64_t blocks = header_.totalBlocks;
    if (blocks > static_cast<std::uint64_t>(volume_.size() / blockSize_) + 1) return nullptr;
    const ForkData& f = header_.allocationFile;
    const ForkMap fork(allExtents(kAllocationFileId, {f.extents.begin(), f.extents.end()}, f.totalBlocks),
                       blockSize_, volume_.size());
    const auto needed = static_cast<std::int64_t>((blocks + 7) / 8);
    if (fork.mappedBytes() < needed) return nullptr;
    auto map = std::make_unique<AllocationMap>(0, blocks, blockSize_, 0);
    std::vector<std::uint8_t> bytes;
    constexpr std::int64_t kPiece = 1 << 20;
    for (std::int64_t at = 0; at < needed; at += kPiece) {
        bytes.resize(static_cast<std::size_t>(std::min(kPiece, needed - at)));
        if (!fork.read(volume_, at, bytes)) return nullptr;
        map->markBits(static_cast<std::uint64_t>(at) * 8, bytes, true);
    }
    return map;
}

ContentPlace HFSP::contentPlace(EntryRef e) const {
    ContentPlace place;
    const HfsEntry* x = entry(e);
    if (!x || x->folder()) return place;
    const HfsEntry& content = contentOf(*x);
    place.kind = ContentPlace::Kind::Units;
    std::uint64_t blocks = blockSize_ == 0 ? 0 : (static_cast<std::uint64_t>(size(e)) + blockSize_ - 1) / blockSize_;
    for (const HfsExtent& r : allExtents(content.cnid, content.extents, content.totalBlocks)) {
        if (blocks == 0) break;
        if (r.blockCount == 0) break;
        const std::uint64_t n = std::min<std::uint64_t>(r.blockCount, blocks);
        place.runs.push_back({r.startBlock, n});
        blocks -= n;
    }
    return place;
}

}  // namespace tavrel::fs
