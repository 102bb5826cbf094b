#include "fs/fat/Fat64Class.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "fs/fat/ClusterCopy.h"
#include "fs/fat/ExFatTimes.h"
#include "fs/fat/FatTimes.h"
#include "fs/fat/FolderStacks.h"
#include "util/Texts.h"

namespace tavrel::fs::fat {

Fat64Class::Fat64Class(const VolumeView& volume, const ScanOptions& options) : volume_(volume), options_(options) {}

bool Fat64Class::checkBootSector() {
    ready_ = false;
    std::vector<std::uint8_t> sector(512);
    if (!volume_.readAt(0, sector)) {
        message_ = "cannot read file";
        return false;
    }
    const auto boot = decodeExFatBootSector(sector);
    if (!boot) {
        message_ = "Selected Drive is not in exFat Format";
        return false;
    }
    layout_ = exFatLayout(*boot, volume_.size());
    fat_ = FatTable(volume_, layout_.fatOffset, layout_.fatBytes, FatWidth::ExFat32, layout_.clusterCount);
    ready_ = true;
    return true;
}

std::vector<std::uint32_t> Fat64Class::clusterList(std::uint32_t first, std::uint64_t count, bool contiguous) const {
    std::vector<std::uint32_t> clusters;
    if (!layout_.validCluster(first)) return clusters;
    count = std::min<std::uint64_t>(count, layout_.clusterCount);
    if (contiguous) {
        for (std::uint64_t k = 0; k < count && layout_.validCluster(static_cast<std::uint32_t>(first + k)); ++k)
            clusters.push_back(static_cast<std::uint32_t>(first + k));
        return clusters;
    }
    std::uint32_t c = first;
    clusters.push_back(c);
    while (clusters.size() < count) {
        const auto next = fat_.next(c);
        if (!next) break;
        c = *next;
        clusters.push_back(c);
    }
    return clusters;
}

bool Fat64Class::readContiguously(const ExFatSet& set) const {
    if (options_.driveFormatted || noFatChain(set.secondaryFlags)) return true;
    // A deleted set whose chain was freed (the first cluster's FAT entry is 0):
    // its clusters usually still follow each other on disk.
    return set.entryType == 0x05 && fat_.value(set.firstCluster).value_or(0) == 0;
}

bool Fat64Class::loadRootDirectory() {
    rootClusters_.clear();
    if (!layout_.validCluster(layout_.rootCluster)) return false;
    // The root directory always uses the FAT; each cluster is read once.
    std::uint32_t c = layout_.rootCluster;
    rootClusters_.push_back(c);
    visitedClusters_.insert(c);
    while (!options_.driveFormatted && rootClusters_.size() < layout_.clusterCount) {
        const auto next = fat_.next(c);
        if (!next || visitedClusters_.count(*next)) break;
        c = *next;
        visitedClusters_.insert(c);
        rootClusters_.push_back(c);
    }
    return true;
}

std::vector<ExFatSet> Fat64Class::readDirectory(const std::vector<std::uint32_t>& clusters) {
    std::vector<ExFatSet> sets;
    ExFatDirectoryDecoder decoder;
    const std::size_t clusterSize = static_cast<std::size_t>(layout_.clusterSize);
    const std::size_t maxRun = std::max<std::size_t>(1, (1u << 20) / clusterSize);
    std::vector<std::uint8_t> buffer;
    for (std::size_t i = 0; i < clusters.size();) {
        std::size_t n = 1;
        while (i + n < clusters.size() && n < maxRun && clusters[i + n] == clusters[i + n - 1] + 1) ++n;
        buffer.assign(n * clusterSize, 0);
        volume_.readAt(layout_.clusterOffset(clusters[i]), buffer);
        decoder.feed(buffer, sets);
        i += n;
    }
    decoder.finish(sets);
    return sets;
}

void Fat64Class::addSets(std::vector<ExFatSet>& sets, std::uint32_t parent, std::vector<std::uint32_t>& folders) {
    std::unordered_map<std::uint32_t, std::uint32_t> byCluster;
    for (ExFatSet& set : sets) {
        ExFatEntry e;
        e.set = std::move(set);
        e.links.parent = parent;
        e.links.ownPosition = static_cast<std::uint32_t>(entries_.size());
        if (isExFatFolder(e.set.attributes) && layout_.validCluster(e.set.firstCluster)) {
            const auto seen = byCluster.find(e.set.firstCluster);
            if (seen != byCluster.end()) {
                // One record for a deleted folder and the live one that took its
                // cluster; a live record is never renamed after a deleted one.
                ExFatEntry& earlier = entries_[seen->second];
                if (!(e.deleted() && !earlier.deleted())) {
                    earlier.set.name = std::move(e.set.name);
                    earlier.set.entryType = e.set.entryType;
                }
                continue;
            }
            byCluster.emplace(e.set.firstCluster, e.links.ownPosition);
            folders.push_back(e.links.ownPosition);
        }
        entries_.push_back(std::move(e));
    }
}

void Fat64Class::parseRootDirectory(WorkControl& work) {
    if (entries_.empty()) {
        ExFatEntry dummy;
        dummy.set.name = kDummyEntryName;
        entries_.push_back(std::move(dummy));
    }
    std::vector<ExFatSet> sets = readDirectory(rootClusters_);
    std::vector<std::uint32_t> folders;
    addSets(sets, 0, folders);

    // Depth first, in entry order, live folders before deleted ones: a deleted
    // folder's old clusters may now belong to a live folder, which must get them.
    FolderStacks stacks;
    const auto deleted = [&](std::uint32_t f) { return entries_[f].deleted(); };
    stacks.push(folders, deleted);
    std::uint32_t folder = 0;
    while (stacks.pop(folder)) {
        if (!work.checkpoint()) break;
        const ExFatSet& set = entries_[folder].set;
        if (!layout_.validCluster(set.firstCluster) || visitedClusters_.count(set.firstCluster)) continue;
        const std::uint64_t count =
            std::max<std::uint64_t>(1, (set.dataLength + static_cast<std::uint64_t>(layout_.clusterSize) - 1) /
                                           static_cast<std::uint64_t>(layout_.clusterSize));
        std::vector<std::uint32_t> clusters = clusterList(set.firstCluster, count, readContiguously(set));
        // Each cluster belongs to one folder: a chain that runs into a cluster
        // already read ends there.
        std::size_t keep = 0;
        while (keep < clusters.size() && !visitedClusters_.count(clusters[keep])) {
            visitedClusters_.insert(clusters[keep]);
            ++keep;
        }
        clusters.resize(keep);
        std::vector<ExFatSet> sub = readDirectory(clusters);
        std::vector<std::uint32_t> subFolders;
        addSets(sub, folder, subFolders);
        stacks.push(subFolders, deleted);
    }
}

void Fat64Class::linkChildren(WorkControl& work) { fat::linkChildren(entries_, work, false); }

void Fat64Class::fillRootLevel(WorkControl& work) {
    std::size_t shown = 0;
    for (std::size_t i = 1; i < entries_.size(); ++i) {
        if (entries_[i].links.parent != 0) continue;
        if ((++shown & 0xFF) == 1) {
            char text[64];
            std::snprintf(text, sizeof text, "filling entry =%zu in tree ", i);
            work.status(text);
        }
    }
}

ScanOutcome Fat64Class::scan(WorkControl& work) {
    if (!checkBootSector()) {
        // An unreadable boot sector keeps "cannot read file" as its message.
        return ScanOutcome::fail(ScanResult::NotThisKind, 0, message_);
    }
    if (!loadRootDirectory()) {
        message_ = "error...";
        return ScanOutcome::fail(ScanResult::Damaged, 0, message_);
    }
    work.status("processing file and directory entries...");
    work.status("Finding Fat64 File And Directory entries recursively....");
    parseRootDirectory(work);
    linkChildren(work);
    work.status("creating tree Structure...");
    fillRootLevel(work);
    message_ = "done...";
    return work.stopRequested() ? ScanOutcome::stopped() : ScanOutcome::done();
}

std::vector<EntryRef> Fat64Class::rootLevel() const { return childrenOf(entries_, 0); }

std::vector<EntryRef> Fat64Class::children(EntryRef e) const {
    if (e == 0) return {};
    return childrenOf(entries_, e);
}

bool Fat64Class::isFolder(EntryRef e) const {
    return e > 0 && e < entries_.size() && isExFatFolder(entries_[e].set.attributes);
}

bool Fat64Class::hasChildren(EntryRef e) const {
    return e > 0 && e < entries_.size() && entries_[e].links.firstChild != kNoEntry;
}

bool Fat64Class::isDeleted(EntryRef e) const { return e < entries_.size() && entries_[e].deleted(); }

std::string Fat64Class::name(EntryRef e) const { return e < entries_.size() ? entries_[e].set.name : std::string(); }

std::int64_t Fat64Class::size(EntryRef e) const {
    if (e >= entries_.size() || isFolder(e)) return 0;
    return static_cast<std::int64_t>(std::min<std::uint64_t>(entries_[e].set.validDataLength, INT64_MAX));
}

EntryTimes Fat64Class::times(EntryRef e) const {
    if (e >= entries_.size()) return {};
    const ExFatSet& s = entries_[e].set;
    EntryTimes t;
    t.created = exFatTimePoint(s.createTimestamp, s.create10ms, s.createUtcOffset);
    t.modified = exFatTimePoint(s.modifiedTimestamp, s.modified10ms, s.modifiedUtcOffset);
    t.accessed = exFatTimePoint(s.accessedTimestamp, 0, s.accessedUtcOffset);
    return t;
}

EntryDescription Fat64Class::describeEntry(EntryRef e) const {
    if (e >= entries_.size()) return {};
    const ExFatSet& s = entries_[e].set;
    EntryDescription d;
    d.created = timeText(exFatCivil(s.createTimestamp));
    d.accessed = timeText(exFatCivil(s.accessedTimestamp));
    d.modified = timeText(exFatCivil(s.modifiedTimestamp));
    d.attributes = attributeText(static_cast<std::uint8_t>(s.attributes & 0xFF));
    return d;
}

std::string Fat64Class::sizeText(EntryRef e) const { return tavrel::sizeText(size(e)); }

bool Fat64Class::saveFile(EntryRef e, ByteSink& out, WorkControl& work) {
    if (!ready_ || e == 0 || e >= entries_.size() || isFolder(e)) return false;
    const ExFatSet& set = entries_[e].set;
    const std::int64_t size = this->size(e);
    if (size == 0) return true;
    const std::uint64_t needed = (static_cast<std::uint64_t>(size) + static_cast<std::uint64_t>(layout_.clusterSize) - 1) /
                                 static_cast<std::uint64_t>(layout_.clusterSize);
    RunList runs;
    if (readContiguously(set)) {
        // Contiguous files are copied in bounded chunks straight from the heap.
        if (!layout_.validCluster(set.firstCluster)) return false;
        const std::uint64_t available = static_cast<std::uint64_t>(layout_.clusterCount) + 2 - set.firstCluster;
        runs.add(layout_.clusterOffset(set.firstCluster),
                 static_cast<std::int64_t>(std::min(needed, available)) * layout_.clusterSize);
    } else {
        for (const std::uint32_t c : clusterList(set.firstCluster, needed, false))
            runs.add(layout_.clusterOffset(c), layout_.clusterSize);
    }
    return copyRuns(volume_, runs.runs(), size, out, work);
}

}  // namespace tavrel::fs::fat
