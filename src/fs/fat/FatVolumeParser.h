// What Fat16Class (FAT12 and FAT16) and Fat32Class share on top of the cluster
// chain base: the BIOS parameter block, the FAT entry width by kind, the first
// cluster of a slot, the directory decoder and the DOS times. The two classes
// differ in the boot-sector test, where the root directory lives, whether an
// empty slot ends a directory cluster, and their texts.
#pragma once

#include "fs/fat/ClusterChainParser.h"
#include "fs/fat/FatBootSector.h"
#include "fs/fat/FatEntry.h"

namespace tavrel::fs::fat {

class FatVolumeParser : public ClusterChainParser<FatEntry> {
public:
    FatVolumeParser(const VolumeView& volume, const ScanOptions& options, bool emptySlotEndsCluster)
        : ClusterChainParser(volume, options), emptySlotEndsCluster_(emptySlotEndsCluster) {}

    EntryTimes times(EntryRef e) const override;
    EntryDescription describeEntry(EntryRef e) const override;

    std::uint32_t firstCluster(const FatEntry& e) const override;
    const FatLayout& layout() const { return layout_; }

protected:
    // The kind's test of a decoded boot sector.
    virtual bool isThisKind(const FatBootSector& boot) const = 0;
    std::optional<ChainGeometry> acceptBootSector(ByteSpan sector) override;
    FatDirectoryDecoder decoder(bool root) const override {
        // Folders begin with their "." entry; the root has none.
        return FatDirectoryDecoder({!root, emptySlotEndsCluster_});
    }

    FatBootSector boot_;
    FatLayout layout_;

private:
    const bool emptySlotEndsCluster_;
};

}  // namespace tavrel::fs::fat
