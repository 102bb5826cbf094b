// Deep mode of the FAT-family parsers: directory clusters the tree does not
// reach (a deleted folder whose own slot was overwritten, the later clusters of
// a deleted folder, a folder cut off by a broken chain) still hold the slots of
// their files. The heap is scanned cluster by cluster for them; what they name
// goes under "ORPHAN ENTRY", deleted entries flagged as everywhere else, and the
// folders among them are walked like any folder, so their children show too.
#include <unordered_set>

#include "fs/fat/FatFamilyParser.h"
#include "fs/fat/ExFatEntry.h"
#include "fs/fat/FatEntry.h"
#include "fs/fat/SlotScan.h"

namespace tavrel::fs::fat {

namespace {
constexpr const char* kDeepStatus = "Scanning every cluster for lost directory entries....";
}  // namespace

template <typename Entry>
void ClusterChainParser<Entry>::findUnreachedDirectories(WorkControl& work) {
    if (work.stopRequested() || heap_.clusterCount == 0) return;
    work.status(kDeepStatus);
    const SlotLimits limits{heap_.clusterCount, static_cast<std::uint64_t>(volume_.size())};
    const auto area = SlotScanArea::heap(heap_.heapOffset, heap_.clusterSize, heap_.clusterCount);
    // Clusters the walk read are in the tree already.
    const SlotScanResult scan = scanForDirectories(volume_, Entry::kFamily, area, limits, {}, work, warnings_,
                                                   [&](std::uint32_t c) { return claimed_.claimed(c); });
    if (scan.truncated) warnings_.damaged(scan.found.back().offset);
    if (scan.found.empty()) return;

    const auto readCluster = [&](const FoundDirectory& d, std::vector<Item>& items, std::vector<std::int64_t>& where) {
        ExtentList one;
        one.add(d.offset, heap_.clusterSize);
        // Read alone: a later cluster of a folder has no "." entry to expect.
        readDirectory(one, decoder(true), items, where);
    };

    // Clusters that a folder slot of another found cluster names are reached
    // through that folder; the others are where the lost branches begin.
    std::unordered_set<std::uint32_t> named;
    for (const FoundDirectory& d : scan.found) {
        if (!work.checkpoint()) return;
        std::vector<Item> items;
        std::vector<std::int64_t> where;
        readCluster(d, items, where);
        for (std::size_t i = 0; i < items.size(); ++i) {
            const Entry e{items[i], where[i]};
            const std::uint32_t first = firstCluster(e);
            if (e.folder() && first != d.cluster) named.insert(first);
        }
    }

    const auto orphans = static_cast<std::uint32_t>(entries_.size());
    entries_.push_back(Entry::folderRecord(kOrphanEntryName));
    parents_.push_back(0);
    // Branch starts first; then whatever a loop of folders kept unreached.
    for (const bool startsOnly : {true, false}) {
        for (const FoundDirectory& d : scan.found) {
            if (!work.checkpoint()) break;
            if ((startsOnly && named.count(d.cluster)) || claimed_.claimed(d.cluster)) continue;
            claimed_.claim(d.cluster, 1);
            std::vector<Item> items;
            std::vector<std::int64_t> where;
            readCluster(d, items, where);
            std::vector<std::uint32_t> folders;
            addItems(items, where, orphans, folders);
            walkFolders(folders, work);
        }
    }
    if (entries_.size() == orphans + 1u) {
        entries_.pop_back();
        parents_.pop_back();
    }
}

template void ClusterChainParser<FatEntry>::findUnreachedDirectories(WorkControl&);
template void ClusterChainParser<ExFatEntry>::findUnreachedDirectories(WorkControl&);

}  // namespace tavrel::fs::fat
