// One folder or file record of the catalog, as the HFS+ parser keeps it. The
// tree links live beside the table, in an EntryTable; the table is ordered by
// catalog node ID (CNID), which is also the entry's EntryRef.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fs/hfsplus/HfsFormat.h"

namespace tavrel::fs::hfsplus {

enum class HfsKind : std::uint16_t { Folder = 1, File = 2 };

struct HfsEntry {
    HfsKind kind = HfsKind::Folder;
    std::uint32_t parent = 0;         // parentID of the record's key
    std::uint64_t cnid = 0;           // the ORPHAN_ENTRY folder takes the largest CNID + 1
    std::string name;                 // UTF-8 of the stored UTF-16 name
    std::int64_t nodeOffset = -1;     // volume byte offset of the node holding the record
    std::uint32_t recordOffset = 0;   // the record's offset within that node
    std::uint64_t size = 0;           // data fork logicalSize (files)
    std::uint32_t totalBlocks = 0;    // data fork totalBlocks (files)
    std::vector<HfsExtent> extents;   // the catalog record's data fork extents, in order
    bool hasDates = false;
    std::uint32_t createDate = 0;     // seconds since 1904-01-01 UTC
    std::uint32_t contentModDate = 0;
    std::uint32_t accessDate = 0;
    std::uint16_t fileMode = 0;
    std::uint32_t linkNumber = 0;     // hard link: the number of the iNode file holding the content
    bool hardLink = false;
    bool deleted = false;             // found in a leaf node the live tree does not reach
    bool folder() const { return kind == HfsKind::Folder; }
};

}  // namespace tavrel::fs::hfsplus
