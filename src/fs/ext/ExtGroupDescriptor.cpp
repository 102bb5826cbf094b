#include "fs/ext/ExtGroupDescriptor.h"

#include <algorithm>

namespace tavrel::fs::ext {

ExtGroup decodeGroupDescriptor(ByteSpan b, const ExtSuperblock& sb) {
    ExtGroup g;
    g.inodeTable = le32(b, 8);
    g.blockBitmap = le32(b, 0);
    g.flags = le16(b, 0x12);
    g.unusedInodes = le16(b, 0x1C);
    if (sb.has64Bit() && sb.descSize >= 64) {
        g.inodeTable |= static_cast<std::uint64_t>(le32(b, 0x28)) << 32;
        g.blockBitmap |= static_cast<std::uint64_t>(le32(b, 0x20)) << 32;
        g.unusedInodes |= static_cast<std::uint32_t>(le16(b, 0x32)) << 16;
    }
    return g;
}

std::uint32_t usedInodeSlots(const ExtGroup& g, const ExtSuperblock& sb) {
    if (!sb.hasGroupChecksums()) return sb.inodesPerGroup;
    if (g.flags & kGroupInodesUninit) return 0;
    return g.unusedInodes < sb.inodesPerGroup ? sb.inodesPerGroup - g.unusedInodes : 0;
}

bool plausibleCounts(const ExtGroup& g, std::uint64_t group, const ExtSuperblock& sb) {
    if (!sb.hasGroupChecksums()) return true;
    if (g.unusedInodes > sb.inodesPerGroup) return false;
    if (group != 0) return true;
    const std::uint32_t reserved = std::min<std::uint32_t>(std::max<std::uint32_t>(sb.firstIno, 3) - 1, sb.inodesPerGroup);
    return (g.flags & kGroupInodesUninit) == 0 && usedInodeSlots(g, sb) >= reserved;
}

std::vector<std::uint64_t> backupGroups(std::uint64_t groupCount, std::size_t limit) {
    std::vector<std::uint64_t> out;
    if (groupCount > 1) out.push_back(1);
    std::uint64_t p3 = 3, p5 = 5, p7 = 7;
    while (out.size() < limit) {
        const std::uint64_t next = std::min({p3, p5, p7});
        if (next >= groupCount) break;
        out.push_back(next);
        if (p3 == next) p3 *= 3;
        if (p5 == next) p5 *= 5;
        if (p7 == next) p7 *= 7;
    }
    return out;
}

namespace {
// Groups 0 and 1 and the powers of 3, 5 and 7 keep superblock backups when
// sparse_super is on (ro_compat 0x1); without it every group does.
bool groupHasSuperblock(const ExtSuperblock& sb, std::uint64_t g) {
    if ((sb.featureRoCompat & 0x1) == 0 || g <= 1) return true;
    for (std::uint64_t base : {3u, 5u, 7u}) {
        std::uint64_t p = base;
        while (p < g) p *= base;
        if (p == g) return true;
    }
    return false;
}
}  // namespace

std::int64_t groupDescriptorOffset(const ExtSuperblock& sb, std::int64_t superblockOffset, std::uint64_t g) {
    const std::int64_t bs = sb.blockSize();
    const std::uint64_t perBlock = static_cast<std::uint64_t>(bs) / sb.descSize;
    if (!sb.hasMetaBg() || g / perBlock < sb.firstMetaBg) {
        const std::int64_t table = (superblockOffset / bs + 1) * bs;
        return table + static_cast<std::int64_t>(g * sb.descSize);
    }
    const std::uint64_t first = g - g % perBlock;  // first group of the meta group
    const std::uint64_t block =
        first * sb.blocksPerGroup + sb.firstDataBlock + (groupHasSuperblock(sb, first) ? 1 : 0);
    return static_cast<std::int64_t>(block) * bs + static_cast<std::int64_t>((g % perBlock) * sb.descSize);
}

}  // namespace tavrel::fs::ext
