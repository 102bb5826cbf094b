// FAT12 and FAT16 volumes: the boot sector gives the FAT (12- or 16-bit entries,
// decided by the cluster count) and the fixed root directory, from which every
// folder is walked cluster chain by cluster chain. Deleted entries are kept.
#pragma once

#include "fs/fat/FatVolumeParser.h"

namespace tavrel::fs::fat {

class Fat16Class : public FatVolumeParser {
public:
    // Empty slots do not end a FAT12/16 directory: slots after one are still read.
    Fat16Class(const VolumeView& volume, const ScanOptions& options) : FatVolumeParser(volume, options, false) {}

private:
    const ScanTexts& texts() const override;
    bool isThisKind(const FatBootSector& boot) const override { return isFat16BootSector(boot); }
    std::optional<RootDirectory> rootDirectory() override;
};

}  // namespace tavrel::fs::fat
