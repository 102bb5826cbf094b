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

private:
    const ScanTexts& texts() const override;
    bool isThisKind(const FatBootSector& boot) const override { return isFat32BootSector(boot); }
    std::optional<RootDirectory> rootDirectory() override;

    std::uint32_t rootCluster_ = 2;
};

}  // namespace tavrel::fs::fat
