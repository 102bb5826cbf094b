// exFAT volumes: the boot sector gives the FAT and the cluster heap; the root
// directory's chain and every folder it names are read entry set by entry set.
// Deleted entry sets are kept.
#pragma once

#include "fs/fat/ClusterChainParser.h"
#include "fs/fat/ExFatBootSector.h"
#include "fs/fat/ExFatEntry.h"

namespace tavrel::fs::fat {

class Fat64Class : public ClusterChainParser<ExFatEntry> {
public:
    Fat64Class(const VolumeView& volume, const ScanOptions& options) : ClusterChainParser(volume, options) {}

    EntryTimes times(EntryRef e) const override;
    EntryDescription describeEntry(EntryRef e) const override;

    std::uint32_t firstCluster(const ExFatEntry& e) const override { return e.set.firstCluster; }
    const ExFatLayout& layout() const { return layout_; }

private:
    const ScanTexts& texts() const override;
    std::optional<ChainGeometry> acceptBootSector(ByteSpan sector) override;
    // The root directory always uses the FAT.
    std::optional<RootDirectory> rootDirectory() override;
    ExFatDirectoryDecoder decoder(bool) const override { return {}; }

    ExFatLayout layout_;
};

}  // namespace tavrel::fs::fat
