// One file or folder of an exFAT volume: one directory entry set.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "fs/fat/ExFatDirectoryDecoder.h"
#include "fs/fat/SlotScan.h"

namespace tavrel::fs::fat {

struct ExFatEntry {
    using Item = ExFatSet;
    using Decoder = ExFatDirectoryDecoder;
    static constexpr SlotFamily kFamily = SlotFamily::ExFat;

    // A synthetic folder record (no entry set on the volume behind it).
    static ExFatEntry folderRecord(std::string name) {
        ExFatEntry e;
        e.set.entryType = 0x85;
        e.set.attributes = 0x10;
        e.set.name = std::move(name);
        return e;
    }

    ExFatSet set;  // entry type, attributes, timestamps, stream fields, name
    std::int64_t where = -1;  // volume offset of the directory piece that ended the set

    bool deleted() const { return set.entryType == 0x05; }
    bool folder() const { return isExFatFolder(set.attributes); }
    const std::string& name() const { return set.name; }
    std::string& name() { return set.name; }
    std::int64_t size() const {
        if (folder()) return 0;
        return static_cast<std::int64_t>(
            std::min<std::uint64_t>(set.validDataLength, std::numeric_limits<std::int64_t>::max()));
    }
    // A folder holds at most 2^21 entries of 32 bytes (256 MiB); a longer
    // claim is damage and is not read.
    static constexpr std::uint64_t kMaxFolderBytes = std::uint64_t{256} << 20;
    std::optional<std::uint64_t> folderBytes() const { return std::min(set.dataLength, kMaxFolderBytes); }
    bool noFatChain() const { return fat::noFatChain(set.secondaryFlags); }
    // Takes the name and entry type of a later set naming the same folder.
    void renameFrom(ExFatEntry& later) {
        set.name = std::move(later.set.name);
        set.entryType = later.set.entryType;
    }
};

}  // namespace tavrel::fs::fat
