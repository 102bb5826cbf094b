// One file or folder of an exFAT volume: one directory entry set.
#pragma once

#include "fs/fat/EntryLinks.h"
#include "fs/fat/ExFatDirectoryDecoder.h"

namespace tavrel::fs::fat {

struct ExFatEntry {
    ExFatSet set;  // entry type, attributes, timestamps, stream fields, name
    EntryLinks links;

    bool deleted() const { return set.entryType == 0x05; }
};

}  // namespace tavrel::fs::fat
