#include "fs/xfs/XfsInodeBtree.h"

#include <unordered_set>

namespace tavrel::fs::xfs {

namespace {

constexpr std::uint32_t kInobtMagic = 0x49414254;    // "IABT"
constexpr std::uint32_t kInobtMagicV5 = 0x49414233;  // "IAB3"
constexpr std::size_t kShortHeader = 16;
constexpr std::size_t kShortHeaderV5 = 56;
constexpr std::size_t kShortCrcOffset = 52;
constexpr int kMaxLevels = 8;

struct Walk {
    const VolumeView& volume;
    const XfsSuperblock& sb;
    std::uint32_t ag;
    std::size_t maxChunks;
    AgChunks& out;
    std::unordered_set<std::uint32_t> read;
};

void damage(AgChunks& out, std::int64_t where) {
    if (!out.damaged) out.where = where;
    out.damaged = true;
}

void walkNode(std::uint32_t agBlock, int level, Walk& w) {
    const std::int64_t at = w.sb.agBlockOffset(w.ag, agBlock);
    if (at < 0 || !w.read.insert(agBlock).second) {
        damage(w.out, at);
        return;
    }
    std::vector<std::uint8_t> block(w.sb.blockSize);
    if (!w.volume.readAt(at, block)) {
        damage(w.out, at);
        return;
    }
    const auto head = decodeInobtBlock(block, w.sb.crcs());
    if (!head || head->level != level) {
        damage(w.out, at);
        return;
    }
    if (w.sb.crcs() && !crcMatches(block, kShortCrcOffset)) w.out.crc.note(at);
    if (level == 0) {
        for (std::size_t i = 0; i < head->records; ++i) {
            if (w.out.chunks.size() >= w.maxChunks) return;
            w.out.chunks.push_back(decodeInodeChunk(subSpan(block, head->header + i * 16, 16), w.sb.sparseInodes()));
        }
        return;
    }
    const std::size_t maxRecords = (block.size() - head->header) / 8;
    const std::size_t pointers = head->header + maxRecords * 4;
    for (std::size_t i = 0; i < head->records; ++i) walkNode(be32(block, pointers + i * 4), level - 1, w);
}

}  // namespace

std::optional<InobtBlock> decodeInobtBlock(ByteSpan b, bool crcs) {
    InobtBlock h;
    h.header = crcs ? kShortHeaderV5 : kShortHeader;
    if (b.size() < h.header || be32(b, 0) != (crcs ? kInobtMagicV5 : kInobtMagic)) return std::nullopt;
    h.level = be16(b, 4);
    h.records = be16(b, 6);
    const std::size_t room = (b.size() - h.header) / (h.level == 0 ? 16 : 8);
    if (h.records > room || h.level >= kMaxLevels) return std::nullopt;
    return h;
}

InodeChunk decodeInodeChunk(ByteSpan r, bool sparse) {
    InodeChunk c;
    c.firstAgInode = be32(r, 0);
    if (sparse) c.holes = be16(r, 4);
    c.freeMask = be64(r, 8);
    return c;
}

AgChunks readAgChunks(const VolumeView& volume, const XfsSuperblock& sb, std::uint32_t ag, std::size_t maxChunks) {
    AgChunks out;
    const std::int64_t agStart = sb.agBlockOffset(ag, 0);
    if (agStart < 0) {
        damage(out, -1);
        return out;
    }
    const std::int64_t agiAt = agStart + 2 * static_cast<std::int64_t>(sb.sectorSize);
    std::vector<std::uint8_t> agi(sb.sectorSize);
    if (!volume.readAt(agiAt, agi) || be32(agi, 0) != kAgiMagic || be32(agi, 8) != ag) {
        damage(out, agiAt);
        return out;
    }
    const std::uint32_t root = be32(agi, 20);
    const std::uint32_t level = be32(agi, 24);
    if (level == 0 || level > kMaxLevels) {
        damage(out, agiAt);
        return out;
    }
    Walk w{volume, sb, ag, maxChunks, out, {}};
    walkNode(root, static_cast<int>(level) - 1, w);
    return out;
}

}  // namespace tavrel::fs::xfs
