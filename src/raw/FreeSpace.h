// Free-space carving: which parts of a volume its file system counts free, from
// the allocation map its parser reads (after a Standard scan, since the map is
// found through the file system's own records). Space outside the map's units
// (boot sectors, the FAT, reserved areas, the volume's tail) holds the file
// system's structures, not the content of deleted files, and is not carved.
#pragma once

#include <memory>
#include <string>

#include "fs/AllocationMap.h"
#include "fs/Parser.h"
#include "image/VolumeView.h"
#include "util/WorkControl.h"

namespace tavrel::raw {

struct FreeSpace {
    std::unique_ptr<fs::Parser> parser;      // owns the map
    const fs::AllocationMap* map = nullptr;  // nullptr: the free space cannot be told
};

// The allocation map of the volume, read as the file system `fsName` (a kind's
// list name). No map when no parser reads that kind, its scan finds no tree, it
// was stopped, or the parser cannot read its map.
FreeSpace readFreeSpace(const VolumeView& volume, const std::string& fsName, WorkControl& work);

}  // namespace tavrel::raw
