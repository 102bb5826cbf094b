// Directory blocks: the live entries of a block and the deleted ones still
// readable in the slack after an entry (the bytes its rec_len covers beyond
// its name, where the names removed after it were merged).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "util/Bytes.h"

namespace tavrel::fs::ext {

struct ExtDirItem {
    std::string name;          // UTF-8 (invalid bytes as U+FFFD)
    std::uint32_t inode = 0;
    std::uint8_t fileType = 0;  // 1 file, 2 folder, 7 symlink, ...; 0 when the volume keeps none
    bool deleted = false;       // found in slack
    std::int64_t where = -1;    // volume offset of the entry
};

struct DirBlockForm {
    bool fileType = true;         // entries carry a file type (a one-byte name length)
    std::uint32_t inodesCount = 0;
    bool slack = true;            // look for deleted entries in the slack
    bool indexRoot = false;       // the first block of a hashed folder: index data follows ".."
};

// Decodes one block (`where` is its volume offset). "." and ".." are not
// returned. False when an entry's length runs past the block or its name past
// its length: the rest of the block is not walked.
bool decodeDirectoryBlock(ByteSpan block, std::int64_t where, const DirBlockForm& form, std::vector<ExtDirItem>& out);


}  // namespace tavrel::fs::ext
