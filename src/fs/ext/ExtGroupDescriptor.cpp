#include "fs/ext/ExtGroupDescriptor.h"

namespace tavrel::fs::ext {

ExtGroup decodeGroupDescriptor(ByteSpan b, const ExtSuperblock& sb) {
    ExtGroup g;
    g.inodeTable = le32(b, 8);
    g.flags = le16(b, 0x12);
    g.unusedInodes = le16(b, 0x1C);
    if (sb.has64Bit() && sb.descSize >= 64) {
        g.inodeTable |= static_cast<std::uint64_t>(le32(b, 0x28)) << 32;
        g.unusedInodes |= static_cast<std::uint32_t>(le16(b, 0x32)) << 16;
    }
    return g;
}

std::uint32_t usedInodeSlots(const ExtGroup& g, const ExtSuperblock& sb) {
    if (!sb.hasGroupChecksums()) return sb.inodesPerGroup;
    if (g.flags & kGroupInodesUninit) return 0;
    return g.unusedInodes < sb.inodesPerGroup ? sb.inodesPerGroup - g.unusedInodes : 0;
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
