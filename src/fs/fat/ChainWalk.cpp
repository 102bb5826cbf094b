#include "fs/fat/ChainWalk.h"

#include <algorithm>
#include <iterator>

namespace tavrel::fs::fat {

std::uint64_t ClaimedClusters::unclaimedRun(std::uint32_t first, std::uint64_t count) const {
    auto after = runs_.upper_bound(first);
    if (after != runs_.begin() && std::prev(after)->second > first) return 0;
    if (after == runs_.end()) return count;
    return std::min<std::uint64_t>(count, after->first - first);
}

void ClaimedClusters::claim(std::uint32_t first, std::uint64_t count) {
    if (count == 0) return;
    std::uint64_t start = first;
    std::uint64_t end = start + count;
    auto after = runs_.lower_bound(start);
    if (after != runs_.end() && after->first == end) {
        end = after->second;
        after = runs_.erase(after);
    }
    if (after != runs_.begin()) {
        const auto before = std::prev(after);
        if (before->second == start) {
            before->second = end;
            return;
        }
    }
    runs_.emplace(start, end);
}

void ClaimedClusters::release(std::uint32_t first, std::uint64_t count) {
    const std::uint64_t lo = first;
    const std::uint64_t hi = lo + count;
    auto it = runs_.upper_bound(lo);
    if (it != runs_.begin()) --it;
    while (it != runs_.end() && it->first < hi) {
        const std::uint64_t start = it->first;
        const std::uint64_t end = it->second;
        if (end <= lo) {
            ++it;
            continue;
        }
        it = runs_.erase(it);
        if (start < lo) runs_.emplace(start, lo);
        if (end > hi) runs_.emplace(hi, end);
    }
}

static ChainWalk contiguousRun(const ClusterHeap& heap, std::uint32_t first, std::uint64_t maxClusters,
                               ClaimedClusters& claims) {
    ChainWalk walk;
    const std::uint64_t onHeap = static_cast<std::uint64_t>(heap.clusterCount) + 2 - first;
    const std::uint64_t wanted = std::min(maxClusters, onHeap);
    const std::uint64_t n = claims.unclaimedRun(first, wanted);
    claims.claim(first, n);
    walk.clusters = n;
    walk.extents.add(heap.clusterOffset(first), static_cast<std::int64_t>(n) * heap.clusterSize);
    if (n < wanted) {
        walk.end = ChainEnd::Claimed;
        walk.where = heap.clusterOffset(static_cast<std::uint32_t>(first + n));
    } else if (n < maxClusters) {
        walk.end = ChainEnd::HeapEnd;
        walk.where = heap.clusterOffset(static_cast<std::uint32_t>(first + n - 1));
    }
    return walk;
}

ChainWalk followClusters(const FatTable& fat, const ClusterHeap& heap, std::uint32_t first, std::uint64_t maxClusters,
                         bool contiguous, ClaimedClusters& claims) {
    if (!heap.validCluster(first)) return {{}, 0, ChainEnd::Broken, -1};
    if (maxClusters == 0) return {};
    if (contiguous) return contiguousRun(heap, first, maxClusters, claims);

    ChainWalk walk;
    std::uint32_t c = first;
    while (true) {
        if (claims.claimed(c)) {
            walk.end = ChainEnd::Claimed;
            walk.where = heap.clusterOffset(c);
            break;
        }
        claims.claim(c, 1);
        walk.extents.add(heap.clusterOffset(c), heap.clusterSize);
        if (++walk.clusters >= maxClusters) break;
        const FatStep s = fat.step(c);
        if (s.kind == FatStep::Next) {
            c = s.next;
            continue;
        }
        walk.end = s.kind == FatStep::End ? ChainEnd::EndMark : ChainEnd::Broken;
        walk.where = fat.entryOffset(c);
        break;
    }
    return walk;
}

}  // namespace tavrel::fs::fat
