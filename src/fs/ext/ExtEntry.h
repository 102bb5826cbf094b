// One name of an ext volume: a directory entry (live, or deleted and found in
// a directory block's slack) with what the listing shows of its inode.
//
// Records are kept per name rather than per inode, so that hard links and a
// deleted name whose inode lives on under another name each get their line.
// Record 0 is the synthetic "ROOT" (inode 2), record 1 the orphan folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "fs/Parser.h"

namespace tavrel::fs::ext {

struct ExtEntry {
    std::string name;
    std::uint32_t inode = 0;
    std::uint32_t parentInode = 0;  // the folder inode whose block held the name
    std::uint16_t mode = 0;         // i_mode; a name with file type 2 makes it a folder
    std::uint16_t inodeMode = 0;    // i_mode as the inode holds it
    bool scanned = false;           // the scan decoded the inode (mode and times below are its own)
    std::uint8_t fileType = 0;
    bool deleted = false;
    bool synthetic = false;         // ROOT and the orphan folder
    bool mapCleared = false;        // a freed inode whose block map was wiped
    std::uint64_t size = 0;
    std::int64_t where = -1;        // volume offset of the directory entry
    // The inode's times, kept from the scan so that listing reads nothing more.
    std::optional<TimePoint> changed, modified, accessed;

    bool folder() const { return (mode & 0xF000) == 0x4000; }
};

}  // namespace tavrel::fs::ext
