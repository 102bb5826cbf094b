// Directory contents in every form. Short-form folders keep their entries in
// the inode's data fork; block, leaf, node and B+tree folders keep them in data
// blocks (the folder's blocks below the 32 GiB mark of its data fork), whose
// other blocks (hash leaves, free indexes) hold no names. Decoding is pure.
//
// Deleted names: removing an entry from a data block turns its bytes into free
// space, writing only a free tag (0xFFFF), the free length and, in its last two
// bytes, the start of the free region; a region freed next to another merges
// with it and leaves the entry's bytes as they were. So names of removed
// entries stay readable in free space: a name at the head of a region loses
// the high half of its inode number (read as zero), the others lose nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "util/Bytes.h"

namespace tavrel::fs::xfs {

struct XfsDirItem {
    std::string name;           // UTF-8 (invalid bytes as U+FFFD)
    std::uint64_t inode = 0;
    std::uint8_t fileType = 0;  // 1 file, 2 folder, 7 symlink, ...; 0 when the volume keeps none
    bool deleted = false;       // found in free space
    std::int64_t where = -1;    // volume offset of the entry, where known
};

struct DirForm {
    bool crcs = false;       // version 5 headers
    bool fileTypes = false;  // entries carry a file type byte
    // Whether an inode number names an inode slot of the volume.
    std::function<bool(std::uint64_t)> validInode;
};

enum class DirBlockKind { NotData, Block, Data };

// What kind of directory block `block` begins with: a single-block folder's
// block, a data block, or another block (a hash leaf, a free index, garbage).
DirBlockKind dirBlockKind(ByteSpan block, bool crcs);

// True when a version 5 data block's checksum matches (version 4 blocks keep none).
bool dirBlockCrcOk(ByteSpan block, bool crcs);

// Decodes a short-form folder held in a data fork of `bytes` bytes (the
// folder's size). "." and ".." are not stored there. False when the header or
// an entry runs past the fork: what was decoded before stays in `out`.
bool decodeShortForm(ByteSpan fork, const DirForm& form, std::vector<XfsDirItem>& out);

// Decodes one directory data block (block or data kind) at volume offset
// `where`: its live entries, and the deleted names in its free space. "." and
// ".." are left out. False when an entry or a free region runs past the data
// area or its tag disagrees: the rest of the block is not walked.
bool decodeDataBlock(ByteSpan block, std::int64_t where, const DirForm& form, std::vector<XfsDirItem>& out);


}  // namespace tavrel::fs::xfs
