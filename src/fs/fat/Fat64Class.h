// exFAT volumes: the boot sector gives the FAT and the cluster heap; the root
// directory's chain and every folder it names are read entry set by entry set.
// Deleted entry sets are kept.
#pragma once

#include "fs/StructureHunt.h"
#include "fs/fat/ClusterChainParser.h"
#include "fs/fat/ExFatBootSector.h"
#include "fs/fat/ExFatEntry.h"
#include "fs/fat/ExFatProbe.h"

namespace tavrel::fs::fat {

class Fat64Class : public ClusterChainParser<ExFatEntry>, public StructureHunter {
public:
    Fat64Class(const VolumeView& volume, const ScanOptions& options) : ClusterChainParser(volume, options) {}

    EntryTimes times(EntryRef e) const override;
    EntryDescription describeEntry(EntryRef e) const override;

    std::uint32_t firstCluster(const ExFatEntry& e) const override { return e.set.firstCluster; }
    const ExFatLayout& layout() const { return layout_; }

    // Advanced mode (Fat64Hunt.cpp): the FAT copies and, as a second list, the
    // cluster-heap offsets; the user picks one of each. Heap candidates carry
    // the cluster size and the root directory's place that supported them.
    std::size_t huntCopies(WorkControl& work, int maximum) override;
    const std::vector<HuntCandidate>& candidates() const override { return fats_; }
    void setCandidates(std::vector<HuntCandidate> found) override { fats_ = std::move(found); }
    const std::vector<HuntCandidate>& heapCandidates() const override { return heaps_; }
    void setHeapCandidates(std::vector<HuntCandidate> found) override { heaps_ = std::move(found); }
    bool useCandidate(std::size_t index, const CandidateChoice& choice) override;
    const char* candidateItemPattern() const override { return "FAT64_ENTRY:%d"; }
    const char* heapItemPattern() const override { return "HEAP_OFFSET_ENTRY:%d"; }
    const char* candidateLabel() const override { return "Total fat64 Entries Found:"; }
    // Items are sectors-per-cluster shifts.
    std::vector<std::string> clusterItems() const override;
    int sectorsPerClusterOfItem(int item) const override { return item >= 0 && item <= 16 ? 1 << item : 0; }
    const char* foundMessagePattern() const override;
    std::string foundMessage() const override;
    const char* huntDoneStatus() const override { return "Parsing done.Click Next to continue."; }

private:
    const ScanTexts& texts() const override;
    std::optional<ChainGeometry> acceptBootSector(ByteSpan sector) override;
    BootRecordProbe bootProbe() const override { return &exFatBootRecord; }
    // The root directory always uses the FAT.
    std::optional<RootDirectory> rootDirectory() override;
    ExFatDirectoryDecoder decoder(bool) const override { return {}; }

    ExFatLayout layout_;
    std::vector<HuntCandidate> fats_;
    std::vector<HuntCandidate> heaps_;
    int bootShift_ = -1;  // sectors-per-cluster shift of a boot sector the hunt read
};

}  // namespace tavrel::fs::fat
