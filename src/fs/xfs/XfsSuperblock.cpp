#include "fs/xfs/XfsSuperblock.h"

#include "util/Crc32c.h"

namespace tavrel::fs::xfs {

namespace {

bool powerOfTwo(std::uint64_t v) { return v != 0 && (v & (v - 1)) == 0; }

int log2Of(std::uint64_t v) {
    int n = 0;
    while (v > 1) {
        v >>= 1;
        ++n;
    }
    return n;
}

}  // namespace

std::optional<XfsSuperblock> decodeSuperblock(ByteSpan b) {
    if (b.size() < 208 || be32(b, 0) != kSuperblockMagic) return std::nullopt;
    XfsSuperblock sb;
    sb.blockSize = be32(b, 4);
    sb.dataBlocks = be64(b, 8);
    sb.rootInode = be64(b, 56);
    sb.inodesInUse = be64(b, 128);
    sb.metaInodes[0] = be64(b, 64);
    sb.metaInodes[1] = be64(b, 72);
    sb.metaInodes[2] = be64(b, 160);
    sb.metaInodes[3] = be64(b, 168);
    sb.agBlocks = be32(b, 84);
    sb.agCount = be32(b, 88);
    sb.versionNum = be16(b, 100);
    sb.sectorSize = be16(b, 102);
    sb.inodeSize = be16(b, 104);
    sb.inodesPerBlock = be16(b, 106);
    sb.blockLog = u8(b, 120);
    sb.inodeLog = u8(b, 122);
    sb.inodesPerBlockLog = u8(b, 123);
    sb.agBlockLog = u8(b, 124);
    sb.dirBlockLog = u8(b, 192);
    sb.features2 = be32(b, 200);
    if (sb.version() != 4 && sb.version() != 5) return std::nullopt;
    if (sb.version() == 5 && b.size() >= kSuperblockBytes) {
        sb.incompat = be32(b, 216);
        sb.metaInodes[4] = be64(b, 232);
    }
    if (!powerOfTwo(sb.blockSize) || sb.blockSize < 512 || sb.blockSize > 65536) return std::nullopt;
    if (log2Of(sb.blockSize) != sb.blockLog) return std::nullopt;
    if (!powerOfTwo(sb.sectorSize) || sb.sectorSize < 512 || sb.sectorSize > 32768) return std::nullopt;
    if (!powerOfTwo(sb.inodeSize) || sb.inodeSize < 256 || sb.inodeSize > 2048 || sb.inodeSize > sb.blockSize)
        return std::nullopt;
    if (log2Of(sb.inodeSize) != sb.inodeLog || sb.inodesPerBlock != sb.blockSize / sb.inodeSize ||
        log2Of(sb.inodesPerBlock) != sb.inodesPerBlockLog)
        return std::nullopt;
    // An AG holds at least a few blocks of headers and at most 2^31 blocks.
    if (sb.agBlocks < 5 || sb.agBlocks > 0x7FFFFFFFu || sb.agCount == 0) return std::nullopt;
    if (sb.agBlockLog > 31 || (std::uint64_t{1} << sb.agBlockLog) < sb.agBlocks ||
        (sb.agBlockLog > 0 && (std::uint64_t{1} << (sb.agBlockLog - 1)) >= sb.agBlocks))
        return std::nullopt;
    if (sb.dataBlocks == 0 || sb.dataBlocks > std::uint64_t{sb.agBlocks} * sb.agCount ||
        sb.dataBlocks <= std::uint64_t{sb.agBlocks} * (sb.agCount - 1))
        return std::nullopt;
    if (sb.blockLog + sb.dirBlockLog > 16) return std::nullopt;  // directory blocks of 64 KiB at most
    return sb;
}

bool crcMatches(ByteSpan b, std::size_t crcOffset) {
    if (!fits(b.size(), crcOffset, 4)) return false;
    static constexpr std::uint8_t kZero[4] = {};
    std::uint32_t crc = crc32c(0xFFFFFFFFu, b.first(crcOffset));
    crc = crc32c(crc, ByteSpan(kZero, 4));
    crc = crc32c(crc, b.subspan(crcOffset + 4));
    return ~crc == le32(b, crcOffset);
}

std::int64_t XfsSuperblock::agBlockOffset(std::uint64_t ag, std::uint64_t agBlock) const {
    if (ag >= agCount || agBlock >= agBlocks) return -1;
    const std::uint64_t block = ag * agBlocks + agBlock;
    if (block >= dataBlocks) return -1;
    return static_cast<std::int64_t>(block << blockLog);
}

std::int64_t XfsSuperblock::blockOffset(std::uint64_t fsBlock) const {
    return agBlockOffset(fsBlock >> agBlockLog, fsBlock & ((std::uint64_t{1} << agBlockLog) - 1));
}

std::int64_t XfsSuperblock::inodeOffset(std::uint64_t inode) const {
    const int bits = agInodeBits();
    if (bits >= 64) return -1;
    const std::uint64_t ag = inode >> bits;
    const std::uint64_t agIno = inode & ((std::uint64_t{1} << bits) - 1);
    const std::int64_t block = agBlockOffset(ag, agIno >> inodesPerBlockLog);
    if (block < 0) return -1;
    return block + static_cast<std::int64_t>((agIno & (inodesPerBlock - 1u)) << inodeLog);
}

}  // namespace tavrel::fs::xfs
