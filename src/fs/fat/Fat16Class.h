// FAT12 and FAT16 volumes: the boot sector gives the FAT (12- or 16-bit entries,
// decided by the cluster count) and the fixed root directory, from which every
// folder is walked cluster chain by cluster chain. Deleted entries are kept.
#pragma once

#include "fs/fat/FatVolumeParser.h"

namespace tavrel::fs::fat {

class Fat16Class : public FatVolumeParser {
public:
    Fat16Class(const VolumeView& volume, const ScanOptions& options);

    ScanOutcome scan(WorkControl& work) override;

    // Stages, in the order scan() runs them.
    bool checkBootSector();
    void loadRootDirectory();
    void parseRootDirectory(WorkControl& work);

private:
    std::vector<std::uint8_t> root_;
};

}  // namespace tavrel::fs::fat
