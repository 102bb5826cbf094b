#include "fs/fat/AdvancedLayout.h"

#include <algorithm>
#include <limits>

namespace tavrel::fs::fat {

namespace {

constexpr std::int64_t kSector = 512;
constexpr std::int64_t kFixedRootBytes = 512 * 32;
constexpr std::int64_t kMaxFixedRootBytes = 65536 * 32;
constexpr std::uint32_t kMinFat16Clusters = 4085;

std::int64_t roundUp(std::int64_t value, std::int64_t unit) { return (value + unit - 1) / unit * unit; }

// Clusters of the heap, bounded by the volume and by a FAT of `fatBytes` with
// entries of `entryBits`.
std::uint32_t clusterCountOf(std::int64_t heapOffset, std::int64_t clusterSize, std::int64_t volumeSize,
                             std::int64_t fatBytes, std::int64_t entryBits) {
    if (heapOffset >= volumeSize || clusterSize <= 0) return 0;
    const std::int64_t inVolume = (volumeSize - heapOffset) / clusterSize;
    const std::int64_t inFat = std::max<std::int64_t>(fatBytes * 8 / entryBits - 2, 0);
    return static_cast<std::uint32_t>(
        std::min<std::int64_t>({inVolume, inFat, std::numeric_limits<std::uint32_t>::max() - 2}));
}

// The layout for FAT entries of `entryBits` bits.
std::optional<AdvancedLayout> fatLayoutOfWidth(const FatLayoutChoice& c, std::int64_t entryBits) {
    const std::int64_t fat = c.fats[c.index];
    const std::int64_t need = roundUp((entryBits * (c.volumeSize / c.clusterSize + 2) + 7) / 8, kSector);

    // The FAT's size from a neighbouring copy, when one lies at a plausible distance.
    std::int64_t fatBytes = 0;
    const auto fits = [&](std::int64_t gap) { return gap >= kSector && gap <= need; };
    if (c.index + 1 < c.fats.size() && fits(c.fats[c.index + 1] - fat)) fatBytes = c.fats[c.index + 1] - fat;
    else if (c.index > 0 && fits(fat - c.fats[c.index - 1])) fatBytes = fat - c.fats[c.index - 1];
    int copies = 2;  // the usual count when no copy shows it
    if (fatBytes > 0) {
        copies = 1;
        while (std::find(c.fats.begin(), c.fats.end(), fat + copies * fatBytes) != c.fats.end()) ++copies;
    } else {
        fatBytes = need;
    }
    const std::int64_t afterFats = fat + copies * fatBytes;

    AdvancedLayout l;
    std::int64_t heap = c.fat32 ? afterFats : afterFats + kFixedRootBytes;
    // The place the folders' "." entries show, when it lies behind the chosen FAT.
    if (c.dataOffset > fat && c.dataOffset <= afterFats + kMaxFixedRootBytes + fatBytes) heap = c.dataOffset;
    if (c.fat32) {
        l.root = RootDirectory{-1, 0, 2};
    } else {
        std::int64_t rootOffset = afterFats;
        if (heap - rootOffset <= 0 || heap - rootOffset > kMaxFixedRootBytes) rootOffset = heap - kFixedRootBytes;
        if (rootOffset < 0) return std::nullopt;
        l.root = RootDirectory{rootOffset, heap - rootOffset, 0};
    }
    const std::uint32_t count = clusterCountOf(heap, c.clusterSize, c.volumeSize, fatBytes, entryBits);
    if (count == 0) return std::nullopt;
    l.chain.heap = {c.clusterSize, heap, count};
    l.chain.fatOffset = fat;
    l.chain.fatBytes = fatBytes;
    l.chain.width = entryBits == 32 ? FatWidth::Bits28 : entryBits == 16 ? FatWidth::Bits16 : FatWidth::Bits12;
    return l;
}

}  // namespace

std::optional<AdvancedLayout> advancedFatLayout(const FatLayoutChoice& c) {
    if (c.index >= c.fats.size() || c.clusterSize < kSector || c.volumeSize <= 0) return std::nullopt;
    const std::int64_t fat = c.fats[c.index];
    if (fat < 0 || fat >= c.volumeSize) return std::nullopt;
    if (c.fat32) return fatLayoutOfWidth(c, 32);
    // FAT12 and FAT16 are told apart by the number of clusters, as everywhere:
    // below 4085 the FAT has 12-bit entries.
    const auto fat16 = fatLayoutOfWidth(c, 16);
    if (fat16 && fat16->chain.heap.clusterCount >= kMinFat16Clusters) return fat16;
    if (const auto fat12 = fatLayoutOfWidth(c, 12)) return fat12;
    return fat16;
}

std::optional<AdvancedLayout> advancedExFatLayout(std::int64_t fatOffset, std::int64_t heapOffset,
                                                  std::int64_t clusterSize, std::int64_t volumeSize,
                                                  std::int64_t rootEntry) {
    if (fatOffset < 0 || heapOffset < 0 || clusterSize < kSector || heapOffset >= volumeSize) return std::nullopt;
    const std::int64_t clusters = (volumeSize - heapOffset) / clusterSize;
    const std::int64_t fatBytes = roundUp(4 * (clusters + 2), kSector);
    const std::uint32_t count = clusterCountOf(heapOffset, clusterSize, volumeSize, fatBytes, 32);
    if (count == 0) return std::nullopt;
    AdvancedLayout l;
    l.chain.heap = {clusterSize, heapOffset, count};
    l.chain.fatOffset = fatOffset;
    l.chain.fatBytes = fatBytes;
    l.chain.width = FatWidth::ExFat32;
    std::uint32_t root = 0;
    if (rootEntry >= heapOffset) {
        const std::int64_t c = (rootEntry - heapOffset) / clusterSize + 2;
        if (l.chain.heap.validCluster(static_cast<std::uint32_t>(std::min<std::int64_t>(c, 0xFFFFFFFF)))) root = static_cast<std::uint32_t>(c);
    }
    l.root = RootDirectory{-1, 0, root};
    return l;
}

}  // namespace tavrel::fs::fat
