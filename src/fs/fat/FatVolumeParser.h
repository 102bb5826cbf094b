// What Fat16Class (FAT12 and FAT16) and Fat32Class share: the entry table, the
// folder walk, linking, the entry view, the list texts and saving. The two
// classes differ in the boot-sector test, the FAT width, where the root directory
// lives, and whether an empty slot ends a directory cluster.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "fs/Parser.h"
#include "fs/fat/FatBootSector.h"
#include "fs/fat/FatDirectoryDecoder.h"
#include "fs/fat/FatEntry.h"
#include "fs/fat/FatTable.h"

namespace tavrel::fs::fat {

class FatVolumeParser : public Parser {
public:
    FatVolumeParser(const VolumeView& volume, const ScanOptions& options);
    FatVolumeParser(const FatVolumeParser&) = delete;
    FatVolumeParser& operator=(const FatVolumeParser&) = delete;

    // Entry view.
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

    // Stages shared by both kinds (see scan() of each class for the order).
    void loadFat();
    void linkChildren(WorkControl& work, bool reportProgress);
    void fillRootLevel(WorkControl& work);

    const std::vector<FatEntry>& entries() const { return entries_; }
    const FatLayout& layout() const { return layout_; }
    std::uint32_t firstCluster(const FatEntry& e) const;

protected:
    // Decodes one directory's clusters (following the FAT chain from `first`,
    // each cluster once per walk) into items. Empty when `first` is not a
    // cluster, was already walked, or fails the dot test.
    std::vector<FatDirItem> readFolder(std::uint32_t first);
    // Adds a directory's items under `parent`. Two folder slots of one directory
    // with the same first cluster (a deleted folder and the live one that reused
    // its cluster) give one record; folders to walk are appended to `folders`.
    void addItems(std::vector<FatDirItem>& items, std::uint32_t parent, std::vector<std::uint32_t>& folders);
    // Walks the given folders and everything below them, depth first.
    void walkFolders(std::vector<std::uint32_t> folders, WorkControl& work);
    void addDummyEntry();
    FatDirectoryDecoder::Options folderOptions() const { return {true, emptySlotEndsCluster_}; }

    VolumeView volume_;
    ScanOptions options_;
    FatBootSector boot_;
    FatLayout layout_;
    FatTable fat_;
    bool ready_ = false;               // boot sector accepted and layout known
    bool emptySlotEndsCluster_ = false;
    std::vector<FatEntry> entries_;
    std::unordered_set<std::uint32_t> visitedClusters_;
};

}  // namespace tavrel::fs::fat
