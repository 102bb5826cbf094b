// The allocation map of an ext volume, from the block bitmap of every group
// (one bit per block from the group's first, lowest bit first). A group whose
// bitmap was never written (BLOCK_UNINIT) has handed out no block since it was
// made: its blocks stay free in the map. Where a file's blocks lie: its extent
// tree or block map, as the save reads it; the extents a delete zeroed say
// nothing any more.
#include <algorithm>

#include "fs/ext/ExtBlockMap.h"
#include "fs/ext/ext2Class.h"

namespace tavrel::fs {

using namespace ext;

std::unique_ptr<AllocationMap> ext2Class::readAllocationMap() const {
    const std::int64_t bs = sb_.blockSize();
    if (!ready_ || sb_.blocksPerGroup == 0 || sb_.blocksCount == 0 ||
        sb_.blocksCount > static_cast<std::uint64_t>(volume_.size() / bs) + 1)
        return nullptr;
    auto map = std::make_unique<AllocationMap>(0, sb_.blocksCount, bs, 0);
    map->mark(0, sb_.firstDataBlock);  // the boot block of a 1 KiB-block volume
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(bs));
    const std::size_t bitmapBytes = std::min<std::size_t>(bits.size(), (sb_.blocksPerGroup + 7) / 8);
    for (std::uint64_t g = 0; g < groups_.size(); ++g) {
        const ExtGroup& group = groups_[g];
        const std::uint64_t first = sb_.firstDataBlock + g * sb_.blocksPerGroup;
        if (sb_.hasGroupChecksums() && (group.flags & kGroupBlocksUninit)) continue;
        if (group.blockBitmap == 0 || group.blockBitmap >= sb_.blocksCount) return nullptr;
        if (!volume_.readAt(static_cast<std::int64_t>(group.blockBitmap) * bs, bits)) return nullptr;
        map->markBits(first, ByteSpan(bits.data(), bitmapBytes));
    }
    return map;
}

ContentPlace ext2Class::contentPlace(EntryRef e) const {
    ContentPlace place;
    if (!ready_ || !validRef(e) || entries_[e].synthetic || entries_[e].folder()) return place;
    const ExtEntry& entry = entries_[e];
    const auto inode = loadInode(entry.inode);
    if (!inode || inode->isDirectory()) return place;
    if (inode->size != 0 && (inode->fastSymlink() || inode->inlineData())) {
        place.kind = ContentPlace::Kind::Resident;
        return place;
    }
    if ((entry.deleted || inode->freed()) && inode->mapCleared() && inode->size != 0) return place;
    place.kind = ContentPlace::Kind::Units;
    if (inode->size == 0) return place;
    const ExtBlockMapper mapper(volume_, sb_, nullptr);
    const BlockMapResult map = mapper.map(*inode, inode->size, false);
    const std::int64_t bs = sb_.blockSize();
    for (const Extent& x : map.extents.extents()) {
        if (x.hole()) continue;
        place.runs.push_back({static_cast<std::uint64_t>(x.offset / bs),
                              static_cast<std::uint64_t>((x.length + bs - 1) / bs)});
    }
    return place;
}

}  // namespace tavrel::fs
