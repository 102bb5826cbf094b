#include "fs/fat/Fat32Class.h"

namespace tavrel::fs::fat {

Fat32Class::Fat32Class(const VolumeView& volume, const ScanOptions& options) : FatVolumeParser(volume, options) {
    // An empty slot ends the FAT32 directory cluster it is in; the folder's next
    // cluster is still read.
    emptySlotEndsCluster_ = true;
}

bool Fat32Class::checkBootSector() {
    ready_ = false;
    std::vector<std::uint8_t> sector(512);
    if (!volume_.readAt(0, sector)) return false;
    const auto boot = decodeFatBootSector(sector);
    if (!boot || !isFat32BootSector(*boot)) return false;
    boot_ = *boot;
    layout_ = fatLayout(boot_, volume_.size());
    ready_ = true;
    return true;
}

void Fat32Class::loadRootDirectory() {
    // Counting the first FAT sector's entries up to an end mark is no guide to
    // the root's length: formatters write the end mark into entry 1, which
    // would leave the root empty. The chain from cluster 2 is followed instead.
    rootCluster_ = layout_.validCluster(layout_.rootCluster) ? layout_.rootCluster : 2;
}

void Fat32Class::parseRootDirectory(WorkControl& work) {
    addDummyEntry();
    std::vector<FatDirItem> items;
    if (layout_.validCluster(rootCluster_) && !visitedClusters_.count(rootCluster_)) {
        // The root has no dot entries; otherwise it is read like any folder.
        FatDirectoryDecoder decoder({false, true});
        std::vector<std::uint8_t> cluster(static_cast<std::size_t>(layout_.clusterSize));
        std::uint32_t c = rootCluster_;
        std::uint32_t read = 0;
        while (true) {
            visitedClusters_.insert(c);
            volume_.readAt(layout_.clusterOffset(c), cluster);
            decoder.feed(cluster, items);
            ++read;
            if (read >= layout_.clusterCount || options_.driveFormatted) break;
            const auto next = fat_.next(c);
            if (!next || visitedClusters_.count(*next)) break;
            c = *next;
        }
    }
    std::vector<std::uint32_t> folders;
    addItems(items, 0, folders);
    walkFolders(std::move(folders), work);
}

ScanOutcome Fat32Class::scan(WorkControl& work) {
    if (!checkBootSector()) {
        message_ = "Selected Drive is not in Fat32 Format";
        return ScanOutcome::fail(ScanResult::NotThisKind, 0, message_);
    }
    loadFat();
    loadRootDirectory();
    work.status("Finding Fat32 File And Directory entries recursively....");
    parseRootDirectory(work);
    work.status("maintaining tree Structure in vector...");
    linkChildren(work, false);
    work.status("Creating Tree Structure....");
    fillRootLevel(work);
    work.status("Tree Structure Created.");
    return work.stopRequested() ? ScanOutcome::stopped() : ScanOutcome::done();
}

}  // namespace tavrel::fs::fat
