// One file or folder of a FAT12/16/32 volume: the decoded directory slot with its
// display name and deleted flag.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "fs/fat/FatDirectoryDecoder.h"
#include "fs/fat/SlotScan.h"

namespace tavrel::fs::fat {

struct FatEntry {
    using Item = FatDirItem;
    using Decoder = FatDirectoryDecoder;
    static constexpr SlotFamily kFamily = SlotFamily::Fat;

    // A synthetic folder record (no slot on the volume behind it).
    static FatEntry folderRecord(std::string name) {
        FatEntry e;
        e.item.slot.attributes = 0x10;
        e.item.name = std::move(name);
        return e;
    }

    FatDirItem item;
    std::int64_t where = -1;  // volume offset of the directory piece that held the slot

    bool deleted() const { return item.deleted; }
    bool folder() const { return isFolderAttributes(item.slot.attributes); }
    const std::string& name() const { return item.name; }
    std::string& name() { return item.name; }
    std::int64_t size() const { return folder() ? 0 : item.slot.size; }
    // A FAT folder has no length: its chain ends it.
    std::optional<std::uint64_t> folderBytes() const { return std::nullopt; }
    bool noFatChain() const { return false; }
    // Takes the name and deleted flag of a later slot naming the same folder.
    void renameFrom(FatEntry& later) {
        item.name = std::move(later.item.name);
        item.deleted = later.item.deleted;
    }
};

}  // namespace tavrel::fs::fat
