// exFAT volumes: the boot sector gives the FAT and the cluster heap; the root
// directory's chain and every folder it names are read entry set by entry set.
// Deleted entry sets are kept.
#pragma once

#include <unordered_set>
#include <vector>

#include "fs/Parser.h"
#include "fs/fat/ExFatBootSector.h"
#include "fs/fat/ExFatEntry.h"
#include "fs/fat/FatTable.h"

namespace tavrel::fs::fat {

class Fat64Class : public Parser {
public:
    Fat64Class(const VolumeView& volume, const ScanOptions& options);
    Fat64Class(const Fat64Class&) = delete;
    Fat64Class& operator=(const Fat64Class&) = delete;

    ScanOutcome scan(WorkControl& work) override;

    std::vector<EntryRef> rootLevel() const override;
    std::vector<EntryRef> children(EntryRef e) const override;
    bool isFolder(EntryRef e) const override;
    bool hasChildren(EntryRef e) const override;
    bool isDeleted(EntryRef e) const override;
    std::string name(EntryRef e) const override;
    std::int64_t size(EntryRef e) const override;
    EntryTimes times(EntryRef e) const override;
    EntryDescription describeEntry(EntryRef e) const override;
    std::string sizeText(EntryRef e) const override;
    bool saveFile(EntryRef e, ByteSink& out, WorkControl& work) override;

    // Stages, in the order scan() runs them.
    bool checkBootSector();
    bool loadRootDirectory();
    void parseRootDirectory(WorkControl& work);
    void linkChildren(WorkControl& work);
    void fillRootLevel(WorkControl& work);

    const std::vector<ExFatEntry>& entries() const { return entries_; }
    const ExFatLayout& layout() const { return layout_; }

private:
    // The clusters of a folder or file: contiguous (no FAT chain, drive formatted,
    // or deleted with a freed chain) or the FAT chain, at most `count` clusters.
    std::vector<std::uint32_t> clusterList(std::uint32_t first, std::uint64_t count, bool contiguous) const;
    bool readContiguously(const ExFatSet& set) const;
    std::vector<ExFatSet> readDirectory(const std::vector<std::uint32_t>& clusters);
    void addSets(std::vector<ExFatSet>& sets, std::uint32_t parent, std::vector<std::uint32_t>& folders);

    VolumeView volume_;
    ScanOptions options_;
    ExFatLayout layout_;
    FatTable fat_;
    bool ready_ = false;
    std::vector<std::uint32_t> rootClusters_;
    std::vector<ExFatEntry> entries_;
    std::unordered_set<std::uint32_t> visitedClusters_;
};

}  // namespace tavrel::fs::fat
