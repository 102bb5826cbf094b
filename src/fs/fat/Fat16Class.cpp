#include "fs/fat/Fat16Class.h"

#include <algorithm>

namespace tavrel::fs::fat {

Fat16Class::Fat16Class(const VolumeView& volume, const ScanOptions& options) : FatVolumeParser(volume, options) {
    // Empty slots do not end a FAT12/16 directory: slots after one are still read.
    emptySlotEndsCluster_ = false;
}

bool Fat16Class::checkBootSector() {
    ready_ = false;
    std::vector<std::uint8_t> sector(512);
    if (!volume_.readAt(0, sector)) return false;
    const auto boot = decodeFatBootSector(sector);
    if (!boot || !isFat16BootSector(*boot)) return false;
    boot_ = *boot;
    layout_ = fatLayout(boot_, volume_.size());
    if (layout_.kind == FatKind::Fat32) return false;
    ready_ = true;
    return true;
}

void Fat16Class::loadRootDirectory() {
    // The fixed root region, clipped to the volume.
    const std::int64_t available = std::max<std::int64_t>(0, volume_.size() - layout_.rootOffset);
    const std::int64_t bytes = std::min(layout_.rootBytes, available);
    root_.assign(static_cast<std::size_t>(bytes), 0);
    volume_.readAt(layout_.rootOffset, root_);
}

void Fat16Class::parseRootDirectory(WorkControl& work) {
    addDummyEntry();
    FatDirectoryDecoder decoder({false, false});
    std::vector<FatDirItem> items;
    decoder.feed(root_, items);
    std::vector<std::uint32_t> folders;
    addItems(items, 0, folders);
    walkFolders(std::move(folders), work);
}

ScanOutcome Fat16Class::scan(WorkControl& work) {
    if (!checkBootSector()) {
        message_ = "Selected Drive is not in Fat16 Format";
        return ScanOutcome::fail(ScanResult::NotThisKind, 0, message_);
    }
    loadFat();
    loadRootDirectory();
    work.status("Finding Fat16 File And Directory entries recursively....");
    parseRootDirectory(work);
    work.status("maintaining tree Structure in vector...");
    linkChildren(work, true);
    work.status("Creating Tree Structure....");
    fillRootLevel(work);
    work.status("Tree Structure Created.");
    work.range(0, 100);
    work.position(100);
    return work.stopRequested() ? ScanOutcome::stopped() : ScanOutcome::done();
}

}  // namespace tavrel::fs::fat
