// FAT32 volumes: the root directory is a cluster chain like any folder, starting
// at the boot sector's root cluster; FAT entries are 28-bit.
#pragma once

#include "fs/fat/FatVolumeParser.h"

namespace tavrel::fs::fat {

class Fat32Class : public FatVolumeParser {
public:
    Fat32Class(const VolumeView& volume, const ScanOptions& options);

    bool scan(WorkControl& work) override;

    // Stages, in the order scan() runs them.
    bool checkBootSector();
    void loadRootDirectory();
    void parseRootDirectory(WorkControl& work);

    // The first cluster of the root directory: the boot sector's root cluster
    // when it names a cluster of the volume, else cluster 2 (see rootClusterCount).
    std::uint32_t rootCluster() const { return rootCluster_; }

private:
    std::uint32_t rootCluster_ = 2;
    std::uint32_t rootClusterLimit_ = 0;  // 0: follow the whole chain
};

// Fallback for a boot sector whose root cluster field is damaged: the root is
// taken to start at cluster 2, and its length in clusters to be one less than the
// number of 32-bit entries before the first end mark in the FAT's first sector
// (at most 127). Returns that entry count.
std::uint32_t rootEntryCountHeuristic(ByteSpan firstFatSector);

}  // namespace tavrel::fs::fat
