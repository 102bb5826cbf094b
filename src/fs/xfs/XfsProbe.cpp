#include "fs/xfs/XfsProbe.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "fs/xfs/XfsSuperblock.h"

namespace tavrel::fs::xfs {

namespace {

constexpr std::uint32_t kAgfMagic = 0x58414746;  // "XAGF"
constexpr std::int64_t kSector = 512;
constexpr std::uint64_t kMaxCopyAgCount = 64;
// The block sizes Linux mounts, most common first.
constexpr std::uint64_t kBlockSizes[] = {4096, 1024, 2048, 512};

}  // namespace

BootMatch xfsBootRecord(ByteSpan sector, BootTest) {
    BootMatch m;
    const auto sb = decodeSuperblock(sector);
    if (!sb) return m;
    m.result = BootMatch::Result::Named;
    // Data blocks of 64 KiB at most, so the product fits when the count is below 2^47.
    m.sectors = sb->dataBlocks < (std::uint64_t{1} << 47) ? static_cast<std::int64_t>(sb->dataBlocks * sb->blockSize / 512)
                                                         : 0;
    return m;
}

std::optional<BackupRecord> findSuperblockCopy(const VolumeView& volume) {
    std::vector<std::uint8_t> sector(kSector);
    std::vector<std::uint64_t> tried;
    auto copyAt = [&](std::uint64_t at) -> std::optional<BackupRecord> {
        if (at == 0 || at > INT64_MAX || std::find(tried.begin(), tried.end(), at) != tried.end()) return std::nullopt;
        tried.push_back(at);
        if (!volume.readAt(static_cast<std::int64_t>(at), sector)) return std::nullopt;
        const auto sb = decodeSuperblock(sector);
        if (!sb || sb->agCount < 2 || std::uint64_t{sb->agBlocks} * sb->blockSize != at) return std::nullopt;
        return BackupRecord{static_cast<std::int64_t>(at), sector};
    };
    // AG 0's free-space header, in the sector after the superblock's, gives
    // the AG size in blocks.
    for (const std::int64_t agfAt : {std::int64_t{512}, std::int64_t{4096}}) {
        if (!volume.readAt(agfAt, sector) || be32(sector, 0) != kAgfMagic || be32(sector, 8) != 0) continue;
        const std::uint64_t agBlocks = be32(sector, 12);
        for (const std::uint64_t blockSize : kBlockSizes)
            if (auto copy = copyAt(agBlocks * blockSize)) return copy;
    }
    // Else mkfs.xfs's division of the volume's blocks among the AGs, the AG
    // size rounded up: AG 1 begins one AG size in.
    const auto size = static_cast<std::uint64_t>(std::max<std::int64_t>(volume.size(), 0));
    for (std::uint64_t count = 2; count <= kMaxCopyAgCount; ++count) {
        for (const std::uint64_t blockSize : kBlockSizes) {
            const std::uint64_t blocks = size / blockSize;
            if (blocks < count) continue;
            if (auto copy = copyAt((blocks + count - 1) / count * blockSize)) return copy;
        }
    }
    return std::nullopt;
}

std::optional<std::int64_t> superblockCopyPrimary(const readWriteInterface& disk, ByteSpan sector, std::int64_t here,
                                                  std::int64_t) {
    const auto sb = decodeSuperblock(sector);
    if (!sb || here < 0) return std::nullopt;
    std::vector<std::uint8_t> agf(kSector);
    const std::int64_t agfAt = here * kSector + sb->sectorSize;
    if (!disk.readAt(agfAt, agf) || be32(agf, 0) != kAgfMagic) return std::nullopt;
    const std::uint32_t ag = be32(agf, 8);
    if (ag == 0 || ag >= sb->agCount) return std::nullopt;
    // An AG of 2^31 blocks of 64 KiB at most, and fewer than 2^32 AGs: the
    // distance in sectors fits when checked against `here`.
    const std::uint64_t agSectors = std::uint64_t{sb->agBlocks} * sb->blockSize / kSector;
    if (agSectors == 0 || ag > static_cast<std::uint64_t>(here) / agSectors) return std::nullopt;
    return here - static_cast<std::int64_t>(ag * agSectors);
}

}  // namespace tavrel::fs::xfs
