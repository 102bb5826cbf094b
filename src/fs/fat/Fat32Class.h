// FAT32 volumes: the root directory is a cluster chain like any folder, starting
// at the boot sector's root cluster; FAT entries are 28-bit.
#pragma once

#include "fs/fat/FatVolumeParser.h"

namespace tavrel::fs::fat {

class Fat32Class : public FatVolumeParser {
public:
    // An empty slot ends the FAT32 directory cluster it is in; the folder's next
    // cluster is still read.
    Fat32Class(const VolumeView& volume, const ScanOptions& options) : FatVolumeParser(volume, options, true) {}

    // The first cluster of the root directory: the boot sector's root cluster
    // when it names a cluster of the volume. A damaged field falls back to
    // cluster 2, where formatters put the root, and that cluster's chain.
    std::uint32_t rootCluster() const { return rootCluster_; }

    const char* candidateItemPattern() const override { return "FAT32_ENTRY:%d"; }
    const char* foundMessagePattern() const override {
        return "Number of FAT32-ENTRY found = %d . Please select the choice from combo box and click Parse button to "
               "proceed.";
    }
    std::string foundMessage() const override {
        return candidates().empty() ? "NO FAT  FAT32-ENTRY found .." : StructureHunter::foundMessage();
    }

private:
    const ScanTexts& texts() const override;
    bool fat32() const override { return true; }
    const char* huntStatus() const override { return nullptr; }
    // The usual list, then 1 (512-byte clusters) and 128 (64 KiB clusters).
    std::vector<std::string> fixedClusterItems() const override { return {"2", "4", "16", "32", "64", "8", "1", "128"}; }
    bool isThisKind(const FatBootSector& boot) const override { return isFat32BootSector(boot); }
    std::optional<RootDirectory> rootDirectory() override;

    std::uint32_t rootCluster_ = 2;
};

}  // namespace tavrel::fs::fat
