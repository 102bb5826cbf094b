#include "fs/fat/FatVolumeParser.h"

#include <algorithm>
#include <cstdio>

#include "fs/fat/ClusterCopy.h"
#include "fs/fat/FatTimes.h"
#include "fs/fat/FolderStacks.h"
#include "util/Texts.h"

namespace tavrel::fs::fat {

FatVolumeParser::FatVolumeParser(const VolumeView& volume, const ScanOptions& options)
    : volume_(volume), options_(options) {}

std::uint32_t FatVolumeParser::firstCluster(const FatEntry& e) const {
    // FAT12/16 keep bytes 20-21 for other uses; only FAT32 has a high word.
    if (layout_.kind == FatKind::Fat32) return (static_cast<std::uint32_t>(e.firstClusterHigh) << 16) | e.firstClusterLow;
    return e.firstClusterLow;
}

void FatVolumeParser::loadFat() {
    const FatWidth width = layout_.kind == FatKind::Fat12   ? FatWidth::Bits12
                           : layout_.kind == FatKind::Fat16 ? FatWidth::Bits16
                                                            : FatWidth::Bits28;
    fat_ = FatTable(volume_, layout_.fatOffset, layout_.fatBytes, width, layout_.clusterCount);
}

void FatVolumeParser::addDummyEntry() {
    if (!entries_.empty()) return;
    FatEntry dummy;
    dummy.name = kDummyEntryName;
    entries_.push_back(std::move(dummy));
}

std::vector<FatDirItem> FatVolumeParser::readFolder(std::uint32_t first) {
    std::vector<FatDirItem> items;
    if (!layout_.validCluster(first) || visitedClusters_.count(first)) return items;

    // The folder's chain, each cluster once: a cluster already walked (a loop, or
    // a chain that runs into another folder) ends it. With the drive-formatted
    // option the FAT is not trusted and only the first cluster is read.
    std::vector<std::uint32_t> chain{first};
    visitedClusters_.insert(first);
    if (!options_.driveFormatted) {
        std::uint32_t c = first;
        while (chain.size() < layout_.clusterCount) {
            const auto next = fat_.next(c);
            if (!next || visitedClusters_.count(*next)) break;
            visitedClusters_.insert(*next);
            chain.push_back(*next);
            c = *next;
        }
    }

    // Read runs of adjacent clusters together (up to 1 MiB), decode cluster by cluster.
    FatDirectoryDecoder decoder(folderOptions());
    const std::size_t clusterSize = static_cast<std::size_t>(layout_.clusterSize);
    const std::size_t maxRun = std::max<std::size_t>(1, (1u << 20) / clusterSize);
    std::vector<std::uint8_t> buffer;
    for (std::size_t i = 0; i < chain.size();) {
        std::size_t n = 1;
        while (i + n < chain.size() && n < maxRun && chain[i + n] == chain[i + n - 1] + 1) ++n;
        buffer.assign(n * clusterSize, 0);
        volume_.readAt(layout_.clusterOffset(chain[i]), buffer);
        for (std::size_t k = 0; k < n; ++k) {
            const ByteSpan cluster(buffer.data() + k * clusterSize, clusterSize);
            if (!decoder.feed(cluster, items)) return items;
        }
        i += n;
    }
    return items;
}

void FatVolumeParser::addItems(std::vector<FatDirItem>& items, std::uint32_t parent,
                               std::vector<std::uint32_t>& folders) {
    std::unordered_map<std::uint32_t, std::uint32_t> byCluster;
    for (FatDirItem& item : items) {
        FatEntry e;
        const DirSlot& s = item.slot;
        e.attributes = s.attributes;
        e.creationTenths = s.creationTenths;
        e.creationTime = s.creationTime;
        e.creationDate = s.creationDate;
        e.accessDate = s.accessDate;
        e.firstClusterHigh = s.firstClusterHigh;
        e.writeTime = s.writeTime;
        e.writeDate = s.writeDate;
        e.firstClusterLow = s.firstClusterLow;
        e.size = s.size;
        e.deleted = item.deleted;
        e.name = std::move(item.name);
        e.links.parent = parent;
        e.links.ownPosition = static_cast<std::uint32_t>(entries_.size());

        if (isFolderAttributes(e.attributes)) {
            const std::uint32_t cluster = firstCluster(e);
            if (layout_.validCluster(cluster)) {
                const auto seen = byCluster.find(cluster);
                if (seen != byCluster.end()) {
                    // One record for both slots. A live folder wins over a
                    // deleted one whose cluster it took; otherwise the later slot
                    // names the record.
                    FatEntry& earlier = entries_[seen->second];
                    if (!(e.deleted && !earlier.deleted)) {
                        earlier.name = std::move(e.name);
                        earlier.deleted = e.deleted;
                    }
                    continue;
                }
                byCluster.emplace(cluster, e.links.ownPosition);
                folders.push_back(e.links.ownPosition);
            }
        }
        entries_.push_back(std::move(e));
    }
}

void FatVolumeParser::walkFolders(std::vector<std::uint32_t> folders, WorkControl& work) {
    // Depth first, in slot order, live folders before deleted ones: a deleted
    // folder's old clusters may now belong to a live folder, which must get them.
    FolderStacks stacks;
    stacks.push(folders, [&](std::uint32_t f) { return entries_[f].deleted; });
    std::uint32_t folder = 0;
    while (stacks.pop(folder)) {
        if (!work.checkpoint()) break;
        std::vector<FatDirItem> items = readFolder(firstCluster(entries_[folder]));
        std::vector<std::uint32_t> sub;
        addItems(items, folder, sub);
        stacks.push(sub, [&](std::uint32_t f) { return entries_[f].deleted; });
    }
}

void FatVolumeParser::linkChildren(WorkControl& work, bool reportProgress) {
    fat::linkChildren(entries_, work, reportProgress);
}

void FatVolumeParser::fillRootLevel(WorkControl& work) {
    std::size_t shown = 0;
    for (std::size_t i = 1; i < entries_.size(); ++i) {
        if (entries_[i].links.parent != 0) continue;
        ++shown;
        if ((shown & 0xFF) == 1) {
            char text[64];
            std::snprintf(text, sizeof text, "filling entry =%zu in tree ", i);
            work.status(text);
        }
    }
}

std::vector<EntryRef> FatVolumeParser::rootLevel() const { return childrenOf(entries_, 0); }

std::vector<EntryRef> FatVolumeParser::children(EntryRef e) const {
    if (e == 0) return {};
    return childrenOf(entries_, e);
}

bool FatVolumeParser::isFolder(EntryRef e) const {
    return e > 0 && e < entries_.size() && isFolderAttributes(entries_[e].attributes);
}

bool FatVolumeParser::hasChildren(EntryRef e) const {
    return e > 0 && e < entries_.size() && entries_[e].links.firstChild != kNoEntry;
}

bool FatVolumeParser::isDeleted(EntryRef e) const { return e < entries_.size() && entries_[e].deleted; }

std::string FatVolumeParser::name(EntryRef e) const { return e < entries_.size() ? entries_[e].name : std::string(); }

std::int64_t FatVolumeParser::size(EntryRef e) const {
    if (e >= entries_.size() || isFolder(e)) return 0;
    return entries_[e].size;
}

EntryTimes FatVolumeParser::times(EntryRef e) const {
    if (e >= entries_.size()) return {};
    return fatEntryTimes(entries_[e]);
}

EntryDescription FatVolumeParser::describeEntry(EntryRef e) const {
    if (e >= entries_.size()) return {};
    return fatDescription(entries_[e]);
}

std::string FatVolumeParser::sizeText(EntryRef e) const { return tavrel::sizeText(size(e)); }

bool FatVolumeParser::saveFile(EntryRef e, ByteSink& out, WorkControl& work) {
    if (!ready_ || e == 0 || e >= entries_.size() || isFolder(e)) return false;
    const FatEntry& entry = entries_[e];
    const std::int64_t size = entry.size;
    if (size == 0) return true;
    const std::uint32_t first = firstCluster(entry);
    if (!layout_.validCluster(first)) return false;

    // Never more clusters than the size needs, never past the last cluster.
    const std::int64_t needed = (size + layout_.clusterSize - 1) / layout_.clusterSize;
    RunList runs;
    // Contiguous reading: with the drive-formatted option (the FAT is not
    // trusted), and for a deleted file whose chain was freed (its first
    // cluster's FAT entry is 0, as a delete leaves it): the file's clusters
    // usually still follow each other on disk.
    const bool freedChain = entry.deleted && fat_.value(first).value_or(0) == 0;
    if (options_.driveFormatted || freedChain) {
        const std::int64_t available = static_cast<std::int64_t>(layout_.clusterCount) + 2 - first;
        runs.add(layout_.clusterOffset(first), std::min(needed, available) * layout_.clusterSize);
    } else {
        std::uint32_t c = first;
        runs.add(layout_.clusterOffset(c), layout_.clusterSize);
        // A chain has at most as many clusters as the volume: a loop in the FAT
        // cannot make the run list grow beyond that.
        const std::int64_t bound = std::min<std::int64_t>(needed, layout_.clusterCount);
        for (std::int64_t k = 1; k < bound; ++k) {
            const auto next = fat_.next(c);
            if (!next) break;
            c = *next;
            runs.add(layout_.clusterOffset(c), layout_.clusterSize);
        }
    }
    return copyRuns(volume_, runs.runs(), size, out, work);
}

}  // namespace tavrel::fs::fat
