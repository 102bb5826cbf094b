#include "fs/xfs/XfsExtents.h"

#include <algorithm>
#include <unordered_set>

namespace tavrel::fs::xfs {

namespace {

constexpr std::uint32_t kBmapMagic = 0x424D4150;    // "BMAP"
constexpr std::uint32_t kBmapMagicV5 = 0x424D4133;  // "BMA3"
constexpr std::size_t kLongHeader = 24;
constexpr std::size_t kLongHeaderV5 = 72;
constexpr std::size_t kLongCrcOffset = 64;
constexpr int kMaxLevels = 9;

struct Walk {
    const VolumeView& volume;
    const XfsSuperblock& sb;
    ExtentMap& map;
    std::unordered_set<std::uint64_t> read;
    std::vector<std::uint8_t> buffer;
};

void damage(ExtentMap& map, std::int64_t where) {
    if (!map.damaged) map.where = where;
    map.damaged = true;
}

// Appends the records of a leaf (or of an extents-form fork).
bool addRecords(ByteSpan records, std::size_t count, ExtentMap& map) {
    for (std::size_t i = 0; i < count; ++i) {
        if (map.records.size() >= kMaxExtentRecords) return false;
        map.records.push_back(decodeExtent(subSpan(records, i * 16, 16)));
    }
    return true;
}

void walkNode(std::uint64_t fsBlock, int level, Walk& w) {
    const std::int64_t at = w.sb.blockOffset(fsBlock);
    if (at < 0 || !w.read.insert(fsBlock).second) {
        damage(w.map, at);
        return;
    }
    std::vector<std::uint8_t> block(w.sb.blockSize);
    if (!w.volume.readAt(at, block)) {
        damage(w.map, at);
        return;
    }
    const auto head = decodeBmapBlock(block, w.sb.crcs());
    if (!head || head->level != level) {
        damage(w.map, at);
        return;
    }
    if (w.sb.crcs() && !crcMatches(block, kLongCrcOffset)) w.map.crc.note(at);
    if (level == 0) {
        if (!addRecords(subSpan(block, head->header, std::size_t{head->records} * 16), head->records, w.map))
            damage(w.map, at);
        return;
    }
    const std::size_t maxRecords = (block.size() - head->header) / 16;
    const std::size_t pointers = head->header + maxRecords * 8;
    for (std::size_t i = 0; i < head->records; ++i) walkNode(be64(block, pointers + i * 8), level - 1, w);
}

}  // namespace

XfsExtent decodeExtent(ByteSpan r) {
    const std::uint64_t hi = be64(r, 0);
    const std::uint64_t lo = be64(r, 8);
    XfsExtent e;
    e.unwritten = (hi >> 63) != 0;
    e.fileBlock = (hi & 0x7FFFFFFFFFFFFFFFull) >> 9;
    e.fsBlock = ((hi & 0x1FF) << 43) | (lo >> 21);
    e.count = lo & 0x1FFFFF;
    return e;
}

std::optional<BmapBlock> decodeBmapBlock(ByteSpan b, bool crcs) {
    BmapBlock h;
    h.header = crcs ? kLongHeaderV5 : kLongHeader;
    if (b.size() < h.header || be32(b, 0) != (crcs ? kBmapMagicV5 : kBmapMagic)) return std::nullopt;
    h.level = be16(b, 4);
    h.records = be16(b, 6);
    const std::size_t room = h.level == 0 ? (b.size() - h.header) / 16 : (b.size() - h.header) / 16;
    if (h.records == 0 || h.records > room || h.level >= kMaxLevels) return std::nullopt;
    return h;
}

ExtentMap mapDataFork(const XfsInode& inode, const VolumeView& volume, const XfsSuperblock& sb) {
    ExtentMap map;
    const ByteSpan fork(inode.dataFork);
    if (inode.format == ForkFormat::Extents) {
        const std::size_t room = fork.size() / 16;
        std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(inode.extentCount, room));
        if (inode.extentCount > room) damage(map, -1);
        addRecords(fork, count, map);
    } else if (inode.format == ForkFormat::Btree) {
        // The root in the inode: level, record count, then keys and pointers
        // sized for as many records as the fork has room for.
        const std::uint16_t level = be16(fork, 0);
        const std::uint16_t records = be16(fork, 2);
        const std::size_t maxRecords = fork.size() >= 4 ? (fork.size() - 4) / 16 : 0;
        if (level == 0 || level >= kMaxLevels || records == 0 || records > maxRecords) {
            damage(map, -1);
            return map;
        }
        Walk w{volume, sb, map, {}, {}};
        const std::size_t pointers = 4 + maxRecords * 8;
        for (std::size_t i = 0; i < records; ++i) walkNode(be64(fork, pointers + i * 8), level - 1, w);
    } else {
        damage(map, -1);
    }
    // Tree order is file order; a damaged tree may disagree, so sort.
    std::stable_sort(map.records.begin(), map.records.end(),
                     [](const XfsExtent& a, const XfsExtent& b) { return a.fileBlock < b.fileBlock; });
    return map;
}

ExtentList contentExtents(const ExtentMap& map, std::uint64_t bytes, const XfsSuperblock& sb, bool& damaged) {
    ExtentList out;
    const std::uint64_t bs = sb.blockSize;
    const std::uint64_t blocks = std::min<std::uint64_t>(bytes / bs + (bytes % bs != 0), INT64_MAX / bs);
    std::uint64_t next = 0;  // the first file block not yet placed
    for (const XfsExtent& e : map.records) {
        if (next >= blocks) break;
        if (e.fileBlock + e.count <= next || e.count == 0) {
            if (e.count != 0) damaged = true;  // overlaps what was placed already
            continue;
        }
        std::uint64_t from = std::max(e.fileBlock, next);
        if (from > next) out.addHole(static_cast<std::int64_t>(std::min(from, blocks) - next) * static_cast<std::int64_t>(bs));
        if (from >= blocks) {
            next = blocks;
            break;
        }
        const std::uint64_t skip = from - e.fileBlock;
        const std::uint64_t count = std::min(e.count - skip, blocks - from);
        const std::uint64_t ag = (e.fsBlock >> sb.agBlockLog);
        const std::uint64_t agBlock = (e.fsBlock & ((std::uint64_t{1} << sb.agBlockLog) - 1)) + skip;
        const std::int64_t first = sb.agBlockOffset(ag, agBlock);
        const std::int64_t last = count > 0 ? sb.agBlockOffset(ag, agBlock + count - 1) : -1;
        const auto length = static_cast<std::int64_t>(count * bs);
        if (e.unwritten) {
            out.addHole(length);
        } else if (first < 0 || last < 0) {
            damaged = true;
            out.addHole(length);
        } else {
            out.add(first, length);
        }
        next = from + count;
    }
    if (next < blocks) out.addHole(static_cast<std::int64_t>((blocks - next) * bs));
    return out;
}

}  // namespace tavrel::fs::xfs
