// The allocation map of the FAT family and where a file's clusters lie.
// FAT12/16/32: a cluster is allocated when its FAT entry is not zero. exFAT:
// the allocation bitmap the root directory names (entry type 0x81), one bit
// per cluster from cluster 2, lowest bit first; exFAT does not clear the FAT
// of a freed cluster, so its FAT says nothing about allocation.
//
// A file's clusters: the contiguous run from its first cluster for a deleted
// FAT file (its chain was freed; the run is what its save assumes), its
// chain otherwise. A deleted exFAT file that used the FAT has lost its chain: the
// save can only guess it, so its place is unknown.
#include <algorithm>

#include "fs/fat/FatFamilyParser.h"
#include "fs/fat/ExFatEntry.h"
#include "fs/fat/FatEntry.h"
#include "fs/fat/SlotScan.h"

namespace tavrel::fs::fat {

namespace {
// The bitmap entry sits among the root directory's first entries; a root
// directory searched further than this names none.
constexpr std::uint64_t kBitmapSearchClusters = 16;
}  // namespace

template <typename Entry>
std::unique_ptr<AllocationMap> ClusterChainParser<Entry>::readAllocationMap() const {
    if (!ready_ || heap_.clusterCount == 0 || heap_.clusterSize <= 0) return nullptr;
    auto map = std::make_unique<AllocationMap>(2, heap_.clusterCount, heap_.clusterSize, heap_.heapOffset);
    if constexpr (Entry::kFamily == SlotFamily::ExFat) {
        if (root_.regionOffset >= 0 || !heap_.validCluster(root_.firstCluster)) return nullptr;
        ClaimedClusters own;
        const ChainWalk walk = followClusters(fat_, heap_, root_.firstCluster, kBitmapSearchClusters, false, own);
        std::vector<std::uint8_t> cluster(static_cast<std::size_t>(heap_.clusterSize));
        std::optional<std::pair<std::uint32_t, std::uint64_t>> bitmap;  // first cluster, length
        for (const Extent& x : walk.extents.extents()) {
            for (std::int64_t at = x.offset; !bitmap && at < x.offset + x.length; at += heap_.clusterSize) {
                if (!volume_.readAt(at, cluster)) return nullptr;
                for (std::size_t k = 0; k + 32 <= cluster.size(); k += 32) {
                    const ByteSpan slot(cluster.data() + k, 32);
                    if (slot[0] == 0x00) return nullptr;  // the directory ended without one
                    if (slot[0] == 0x81 && (slot[1] & 1) == 0) {
                        bitmap.emplace(le32(slot, 20), le64(slot, 24));
                        break;
                    }
                }
            }
        }
        const std::uint64_t needed = (std::uint64_t{heap_.clusterCount} + 7) / 8;
        if (!bitmap || !heap_.validCluster(bitmap->first) || bitmap->second < needed) return nullptr;
        // The bitmap is contiguous in practice; its chain is followed all the same.
        ClaimedClusters claims;
        const ChainWalk bits = followClusters(fat_, heap_, bitmap->first, heap_.clustersFor(needed), false, claims);
        if (bits.extents.total() < static_cast<std::int64_t>(needed)) return nullptr;
        std::vector<std::uint8_t> bytes;
        std::uint64_t unit = 2;
        for (const Extent& x : bits.extents.extents()) {
            const auto want = static_cast<std::size_t>(
                std::min<std::uint64_t>(static_cast<std::uint64_t>(x.length), needed - (unit - 2) / 8));
            bytes.resize(want);
            if (!volume_.readAt(x.offset, bytes)) return nullptr;
            map->markBits(unit, bytes);
            unit += std::uint64_t{want} * 8;
        }
    } else {
        for (std::uint32_t c = 2; heap_.validCluster(c); ++c) {
            // An entry beyond the FAT tells nothing: the cluster is taken as used.
            const auto v = fat_.value(c);
            if (!v || *v != 0) map->mark(c, 1);
        }
    }
    return map;
}

template <typename Entry>
ContentPlace ClusterChainParser<Entry>::contentPlace(EntryRef ref) const {
    ContentPlace place;
    if (!ready_ || ref == 0 || ref >= entries_.size() || isFolder(ref)) return place;
    const Entry& entry = entries_[ref];
    if constexpr (Entry::kFamily == SlotFamily::ExFat) {
        if (entry.deleted() && !entry.noFatChain()) return place;
    }
    const std::int64_t size = entry.size();
    place.kind = ContentPlace::Kind::Units;
    if (size == 0) return place;
    if (!heap_.validCluster(firstCluster(entry))) return ContentPlace{};
    // A deleted FAT file's chain is gone: a chain from its first cluster
    // belongs to whatever reused it, so its place is the contiguous run.
    const bool contiguous = readContiguously(entry) || entry.deleted();
    ClaimedClusters own;
    const ChainWalk walk = followClusters(fat_, heap_, firstCluster(entry),
                                          heap_.clustersFor(static_cast<std::uint64_t>(size)), contiguous, own);
    const std::int64_t cs = heap_.clusterSize;
    for (const Extent& x : walk.extents.extents()) {
        if (x.hole() || x.offset < heap_.heapOffset) continue;
        place.runs.push_back({static_cast<std::uint64_t>((x.offset - heap_.heapOffset) / cs) + 2,
                              static_cast<std::uint64_t>((x.length + cs - 1) / cs)});
    }
    return place;
}

template std::unique_ptr<AllocationMap> ClusterChainParser<FatEntry>::readAllocationMap() const;
template std::unique_ptr<AllocationMap> ClusterChainParser<ExFatEntry>::readAllocationMap() const;
template ContentPlace ClusterChainParser<FatEntry>::contentPlace(EntryRef) const;
template ContentPlace ClusterChainParser<ExFatEntry>::contentPlace(EntryRef) const;

}  // namespace tavrel::fs::fat
