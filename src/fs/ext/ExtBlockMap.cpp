#include "fs/ext/ExtBlockMap.h"

#include <algorithm>
#include <cstdint>

namespace tavrel::fs::ext {

namespace {
constexpr std::uint16_t kExtentMagic = 0xF30A;
constexpr int kMaxExtentDepth = 5;
constexpr std::uint32_t kInitialisedMax = 32768;  // longer extents are uninitialised
}  // namespace

struct ExtBlockMapper::Walk {
    std::uint64_t needed = 0;  // logical blocks the size covers
    std::uint64_t next = 0;    // next logical block to emit
    std::uint64_t readsLeft = 0;
    std::unordered_set<std::uint64_t> read;  // index and indirect blocks of this walk
    std::vector<Leaf> leaves;
    BlockMapResult result;

    void damage(std::int64_t where) {
        if (!result.damaged) result.where = where;
        result.damaged = true;
    }
};

bool ExtBlockMapper::readBlock(std::uint64_t block, std::vector<std::uint8_t>& out, Walk& w) const {
    const auto at = static_cast<std::int64_t>(block) * blockSize_;
    if (block == 0 || block >= blocksCount_ || w.readsLeft == 0 || !w.read.insert(block).second ||
        (readOnce_ && !readOnce_->insert(block).second)) {
        w.damage(block < blocksCount_ ? at : -1);
        return false;
    }
    --w.readsLeft;
    out.assign(static_cast<std::size_t>(blockSize_), 0);
    if (!volume_.readAt(at, out)) {
        if (warnings_) warnings_->unreadable(at);
        return false;
    }
    return true;
}

void ExtBlockMapper::emit(Walk& w, std::uint64_t logical, std::uint64_t physical, std::uint64_t count,
                          bool hole) const {
    if (logical >= w.needed || count == 0) return;
    if (logical < w.next) {
        // Overlaps what was already placed: damage; keep the part after it.
        w.damage(-1);
        const std::uint64_t skip = w.next - logical;
        if (skip >= count) return;
        logical += skip;
        if (!hole) physical += skip;
        count -= skip;
    }
    count = std::min(count, w.needed - logical);
    if (logical > w.next) w.result.extents.addHole(static_cast<std::int64_t>(logical - w.next) * blockSize_);
    if (!hole && (physical == 0 || physical >= blocksCount_ || count > blocksCount_ - physical)) {
        w.damage(-1);
        hole = true;
    }
    const auto bytes = static_cast<std::int64_t>(count) * blockSize_;
    if (hole) {
        w.result.extents.addHole(bytes);
    } else {
        w.result.extents.add(static_cast<std::int64_t>(physical) * blockSize_, bytes);
        w.result.mapped += static_cast<std::int64_t>(count);
    }
    w.next = logical + count;
}

void ExtBlockMapper::extentNode(ByteSpan node, int expectedDepth, Walk& w) const {
    const std::uint16_t magic = le16(node, 0);
    const std::uint16_t entries = le16(node, 2);
    const int depth = le16(node, 6);
    if (magic != kExtentMagic || depth > kMaxExtentDepth || (expectedDepth >= 0 && depth != expectedDepth) ||
        !fits(node.size(), 12, std::size_t{entries} * 12)) {
        w.damage(-1);
        return;
    }
    for (std::size_t i = 0; i < entries; ++i) {
        const ByteSpan e = subSpan(node, 12 + i * 12, 12);
        const std::uint64_t logical = le32(e, 0);
        if (logical >= w.needed) break;  // entries are in logical order
        if (depth == 0) {
            if (w.leaves.size() >= w.needed) {
                // More extents than the file has blocks: they must overlap.
                w.damage(-1);
                return;
            }
            std::uint32_t length = le16(e, 4);
            const bool uninit = length > kInitialisedMax;
            if (uninit) length -= kInitialisedMax;
            const std::uint64_t start = (static_cast<std::uint64_t>(le16(e, 6)) << 32) | le32(e, 8);
            w.leaves.push_back({logical, start, length, uninit});
            continue;
        }
        const std::uint64_t child = (static_cast<std::uint64_t>(le16(e, 8)) << 32) | le32(e, 4);
        std::vector<std::uint8_t> block;
        if (readBlock(child, block, w)) extentNode(block, depth - 1, w);
    }
}

// level 0 is a data block; level k an indirect block k steps above the data.
void ExtBlockMapper::indirect(std::uint64_t pointer, int level, Walk& w) const {
    const std::uint64_t perBlock = static_cast<std::uint64_t>(blockSize_) / 4;
    std::uint64_t span = 1;
    for (int i = 0; i < level; ++i) span *= perBlock;
    if (w.next >= w.needed) return;
    if (pointer == 0) {
        const std::uint64_t count = std::min(span, w.needed - w.next);
        emit(w, w.next, 0, count, true);
        return;
    }
    if (level == 0) {
        emit(w, w.next, pointer, 1, false);
        return;
    }
    std::vector<std::uint8_t> block;
    if (!readBlock(pointer, block, w)) {
        // Unreadable or impossible: its part of the file reads as zeros.
        emit(w, w.next, 0, std::min(span, w.needed - w.next), true);
        return;
    }
    for (std::uint64_t i = 0; i < perBlock && w.next < w.needed; ++i)
        indirect(le32(block, static_cast<std::size_t>(i * 4)), level - 1, w);
}

BlockMapResult ExtBlockMapper::map(const ExtInode& inode, std::uint64_t bytes, bool padTail) const {
    Walk w;
    const auto bs = static_cast<std::uint64_t>(blockSize_);
    // Byte offsets in the file are signed 64-bit: no more blocks than they reach.
    w.needed = std::min<std::uint64_t>(bytes / bs + (bytes % bs != 0 ? 1 : 0),
                                       static_cast<std::uint64_t>(INT64_MAX) / bs);
    // Index and indirect blocks read: no more than the volume holds, nor than
    // the file's blocks could need (one per data block at worst, plus the levels).
    const auto stored = static_cast<std::uint64_t>(volume_.size() / blockSize_);
    w.readsLeft = std::min({blocksCount_, stored, w.needed + 8});
    const ByteSpan root(inode.blockMap);
    if (inode.extents()) {
        if (le16(root, 4) > 4) w.damage(-1);  // eh_max: the inode holds 4 entries
        extentNode(root, -1, w);
        std::stable_sort(w.leaves.begin(), w.leaves.end(),
                         [](const Leaf& a, const Leaf& b) { return a.logical < b.logical; });
        for (const Leaf& l : w.leaves) emit(w, l.logical, l.physical, l.length, l.uninitialised);
    } else {
        for (int i = 0; i < 12 && w.next < w.needed; ++i) indirect(le32(root, 4 * i), 0, w);
        for (int level = 1; level <= 3 && w.next < w.needed; ++level)
            indirect(le32(root, static_cast<std::size_t>(44 + 4 * level)), level, w);
    }
    if (padTail && w.next < w.needed) emit(w, w.next, 0, w.needed - w.next, true);
    return std::move(w.result);
}

}  // namespace tavrel::fs::ext
