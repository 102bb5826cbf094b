// What Fat16Class (FAT12 and FAT16) and Fat32Class share on top of the cluster
// chain base: the BIOS parameter block, the FAT entry width by kind, the first
// cluster of a slot, the directory decoder and the DOS times, and Advanced
// mode's hunt for FAT copies. The two classes differ in the boot-sector test,
// where the root directory lives, whether an empty slot ends a directory
// cluster, and their texts.
#pragma once

#include "fs/StructureHunt.h"
#include "fs/fat/ClusterChainParser.h"
#include "fs/fat/FatBootSector.h"
#include "fs/fat/FatEntry.h"
#include "fs/fat/FatHunt.h"
#include "fs/fat/FatProbe.h"

namespace tavrel::fs::fat {

class FatVolumeParser : public ClusterChainParser<FatEntry>, public StructureHunter {
public:
    FatVolumeParser(const VolumeView& volume, const ScanOptions& options, bool emptySlotEndsCluster)
        : ClusterChainParser(volume, options), emptySlotEndsCluster_(emptySlotEndsCluster) {}

    EntryTimes times(EntryRef e) const override;
    EntryDescription describeEntry(EntryRef e) const override;

    std::uint32_t firstCluster(const FatEntry& e) const override;
    const FatLayout& layout() const { return layout_; }

    // Advanced mode (FatVolumeHunt.cpp). The candidates are the FATs' first
    // sectors; each carries the cluster size and the place of cluster 2 that
    // folders' "." entries showed during the hunt (0 and -1 when none did).
    std::size_t huntCopies(WorkControl& work, int maximum) override;
    const std::vector<HuntCandidate>& candidates() const override { return fats_; }
    void setCandidates(std::vector<HuntCandidate> found) override { fats_ = std::move(found); }
    bool useCandidate(std::size_t index, const CandidateChoice& choice) override;
    std::vector<std::string> clusterItems() const override;
    const char* huntDoneStatus() const override { return "Parsing done.Click Next to continue."; }

protected:
    // The kind's test of a decoded boot sector.
    virtual bool isThisKind(const FatBootSector& boot) const = 0;
    std::optional<ChainGeometry> acceptBootSector(ByteSpan sector) override;
    FatDirectoryDecoder decoder(bool root) const override {
        // Folders begin with their "." entry; the root has none.
        return FatDirectoryDecoder({!root, emptySlotEndsCluster_});
    }
    virtual bool fat32() const = 0;
    BootRecordProbe bootProbe() const override { return fat32() ? &fat32BootRecord : &fat16BootRecord; }
    // The hunt's status text before it starts (nullptr: none).
    virtual const char* huntStatus() const = 0;
    // The page's fixed sectors-per-cluster items, in order.
    virtual std::vector<std::string> fixedClusterItems() const = 0;

    FatBootSector boot_;
    FatLayout layout_;

private:
    const bool emptySlotEndsCluster_;
    std::vector<HuntCandidate> fats_;
    int bootSectorsPerCluster_ = 0;  // of a boot sector of this kind the hunt read (0: none)
};

}  // namespace tavrel::fs::fat
