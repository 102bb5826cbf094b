// FAT32 volumes: the root directory is a cluster chain like any folder, starting
// at the boot sector's root cluster; FAT entries are 28-bit.
#pragma once

#include "fs/fat/FatVolumeParser.h"

namespace tavrel::fs::fat {

class Fat32Class : public FatVolumeParser {
public:
    Fat32Class(const VolumeView& volume, const ScanOptions& options);

    ScanOutcome scan(WorkControl& work) override;

    // Stages, in the order scan() runs them.
    bool checkBootSector();
    void loadRootDirectory();
    void parseRootDirectory(WorkControl& work);

    // The first cluster of the root directory: the boot sector's root cluster
    // when it names a cluster of the volume. A damaged field falls back to
    // cluster 2, where formatters put the root, and that cluster's chain.
    std::uint32_t rootCluster() const { return rootCluster_; }

private:
    std::uint32_t rootCluster_ = 2;
};

}  // namespace tavrel::fs::fat
