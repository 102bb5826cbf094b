#include "fs/ext/ExtSuperblock.h"

#include "util/Crc32c.h"

namespace tavrel::fs::ext {

namespace {
bool powerOfTwo(std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }
}  // namespace

std::uint64_t ExtSuperblock::groupCount() const {
    if (blocksPerGroup == 0 || blocksCount <= firstDataBlock) return 0;
    const std::uint64_t blocks = blocksCount - firstDataBlock;
    return blocks / blocksPerGroup + (blocks % blocksPerGroup != 0 ? 1 : 0);
}

std::optional<ExtSuperblock> decodeSuperblock(ByteSpan b) {
    if (b.size() < kSuperblockBytes || le16(b, kMagicField) != kExtMagic) return std::nullopt;
    ExtSuperblock s;
    s.inodesCount = le32(b, 0);
    s.blocksCount = le32(b, 4);
    s.firstDataBlock = le32(b, 20);
    s.logBlockSize = le32(b, 24);
    s.blocksPerGroup = le32(b, 32);
    s.inodesPerGroup = le32(b, 40);
    s.revision = le32(b, 76);
    s.blockGroupNumber = le16(b, 90);
    if (s.revision >= 1) {
        s.inodeSize = le16(b, 88);
        s.featureCompat = le32(b, 92);
        s.featureIncompat = le32(b, 96);
        s.featureRoCompat = le32(b, 100);
        s.firstIno = le32(b, 84);
    }
    if (s.logBlockSize > 6) return std::nullopt;  // 64 KiB at most
    const auto blockSize = static_cast<std::uint32_t>(s.blockSize());
    if (s.has64Bit()) {
        s.blocksCount |= static_cast<std::uint64_t>(le32(b, 0x150)) << 32;
        s.descSize = le16(b, 0xFE);
        if (s.descSize < 64 || s.descSize > 1024 || !powerOfTwo(s.descSize)) return std::nullopt;
    }
    s.firstMetaBg = le32(b, 0x104);
    // The seed: stored, or the checksum of the volume's UUID.
    s.checksumSeed = (s.featureIncompat & kIncompatCsumSeed) ? le32(b, 0x270) : crc32c(~0u, subSpan(b, 0x68, 16));
    // A group is described by one block of bitmap: at most 8 bits per byte of a
    // block. mke2fs refuses groups under 256 blocks; a smaller count is damage,
    // and would make a large volume claim millions of groups.
    if (s.blocksPerGroup < kMinBlocksPerGroup || s.blocksPerGroup > blockSize * 8) return std::nullopt;
    if (s.inodesPerGroup == 0 || s.inodesPerGroup > blockSize * 8) return std::nullopt;
    if (s.inodeSize < 128 || s.inodeSize > blockSize || !powerOfTwo(s.inodeSize)) return std::nullopt;
    if (s.firstDataBlock > 1 || s.blocksCount == 0) return std::nullopt;
    // Every block's byte offset must fit a signed 64-bit number.
    if (s.blocksCount > (std::uint64_t{1} << 62) / blockSize) return std::nullopt;
    return s;
}

}  // namespace tavrel::fs::ext
