// One name of an XFS volume: a folder entry (live, or deleted and found in a
// directory block's free space), or in Deep mode an inode no name reaches,
// with what the listing shows of its inode. Record 0 is the synthetic "ROOT",
// record 1 the orphan folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "fs/Parser.h"

namespace tavrel::fs::xfs {

struct XfsEntry {
    std::string name;
    std::uint64_t inode = 0;
    std::uint16_t mode = 0;       // the inode's mode; from the name's file type when the inode is free
    std::uint16_t inodeMode = 0;  // the mode as the inode holds it
    bool deleted = false;
    bool synthetic = false;       // ROOT and the orphan folder
    bool reused = false;          // a deleted name whose inode now holds another file
    std::uint64_t size = 0;
    std::int64_t where = -1;      // volume offset of the directory entry, where known
    std::optional<TimePoint> created, modified, accessed;

    bool folder() const { return (mode & 0xF000) == 0x4000; }
};

}  // namespace tavrel::fs::xfs
