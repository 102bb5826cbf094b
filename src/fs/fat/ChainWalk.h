// The clusters of one file or folder as extents of the volume: a contiguous run
// (exFAT's no-FAT-chain flag, a freed chain, a formatted drive) or a FAT chain.
// Runs are kept as ranges, never one element per cluster, so a run's cost does
// not grow with its length; a chain costs one FAT lookup per cluster and ends at
// the volume's cluster count, whatever the directory entry claims.
#pragma once

#include <cstdint>
#include <map>

#include "fs/ExtentCopy.h"
#include "fs/fat/FatTable.h"

namespace tavrel::fs::fat {

// The cluster heap: cluster 2 starts at heapOffset; valid clusters are
// 2 .. clusterCount + 1.
struct ClusterHeap {
    std::int64_t clusterSize = 0;
    std::int64_t heapOffset = 0;
    std::uint32_t clusterCount = 0;

    std::int64_t clusterOffset(std::uint32_t c) const {
        return heapOffset + (static_cast<std::int64_t>(c) - 2) * clusterSize;
    }
    bool validCluster(std::uint32_t c) const {
        return c >= 2 && static_cast<std::uint64_t>(c) < static_cast<std::uint64_t>(clusterCount) + 2;
    }
    // Clusters needed for `bytes` bytes.
    std::uint64_t clustersFor(std::uint64_t bytes) const {
        const auto size = static_cast<std::uint64_t>(clusterSize);
        return size == 0 ? 0 : bytes / size + (bytes % size != 0);
    }
};

// Clusters already taken by one walk, as ranges: each cluster belongs to one
// folder (or one file), so a chain that meets a taken cluster ends there.
class ClaimedClusters {
public:
    bool claimed(std::uint32_t c) const { return unclaimedRun(c, 1) == 0; }
    // How many of the `count` clusters from `first` come before the first taken one.
    std::uint64_t unclaimedRun(std::uint32_t first, std::uint64_t count) const;
    // Takes `count` clusters from `first` (none of them taken yet).
    void claim(std::uint32_t first, std::uint64_t count);
    // Gives back `count` clusters from `first` (a directory that ended before
    // the clusters it had claimed).
    void release(std::uint32_t first, std::uint64_t count);
    void clear() { runs_.clear(); }

private:
    std::map<std::uint64_t, std::uint64_t> runs_;  // first cluster -> one past the last
};

enum class ChainEnd {
    Complete,  // the clusters asked for were all found
    EndMark,   // the FAT's end-of-chain mark came first
    Broken,    // a free, bad or out-of-range FAT entry, or an invalid first cluster
    Claimed,   // the chain ran into a cluster already taken (a loop or a cross-link)
    HeapEnd,   // a contiguous run reached the last cluster of the volume
};

struct ChainWalk {
    ExtentList extents;
    std::uint64_t clusters = 0;
    ChainEnd end = ChainEnd::Complete;
    std::int64_t where = -1;  // volume byte offset where the chain stopped early

    // Stopped by damage rather than by its length or its end mark.
    bool damaged() const { return end == ChainEnd::Broken || end == ChainEnd::Claimed || end == ChainEnd::HeapEnd; }
};

// At most `maxClusters` clusters from `first`: contiguous, or along the FAT.
// Each cluster is claimed in `claims`; a taken cluster ends the walk.
ChainWalk followClusters(const FatTable& fat, const ClusterHeap& heap, std::uint32_t first, std::uint64_t maxClusters,
                         bool contiguous, ClaimedClusters& claims);

}  // namespace tavrel::fs::fat
