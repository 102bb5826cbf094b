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

    const char* candidateItemPattern() const override { return "FAT_ENTRY:%d"; }
    const char* candidateLabel() const override { return "Total fat16 Entries Found:"; }
    const char* foundMessagePattern() const override {
        return "Number of FAT-ENTRY found = %d . Please select the choice from combo box and click Parse button to "
               "proceed.";
    }

private:
    const ScanTexts& texts() const override;
    bool fat32() const override { return false; }
    const char* huntStatus() const override { return "Finding Fat entries...."; }
    // The usual list, then 1 for small FAT12 volumes.
    std::vector<std::string> fixedClusterItems() const override { return {"4", "8", "16", "2", "32", "64", "128", "1"}; }
    bool isThisKind(const FatBootSector& boot) const override { return isFat16BootSector(boot); }
    std::optional<RootDirectory> rootDirectory() override;
};

}  // namespace tavrel::fs::fat
