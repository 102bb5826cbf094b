// Other file systems and containers that Linux volumes carry under the same
// partition type as ext (MBR 0x83, GPT Linux data). A volume listed as ext
// whose first bytes hold none of ext's superblocks is looked up here, so that
// its refusal can say what the volume holds. Each kind is known by a fixed
// signature at a fixed offset from the volume's start, kept in its row of the
// kind table (the parser factory hands the rows' probes over in ScanOptions).
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "util/Bytes.h"
#include "volume/FsProbe.h"

namespace tavrel::fs::ext {

// Bytes from the volume's start that cover every signature of `kinds`.
std::size_t foreignHeadBytes(std::span<const FsProbe> kinds);

struct ForeignFileSystem {
    const char* phrase;   // "a btrfs file system", "LUKS encryption", ...
    std::int64_t offset;  // volume byte offset of the signature
};

// What `head` (the volume's first bytes, as many as could be read) holds by
// the first of `kinds` whose signature it carries, or nullopt when it holds none.
std::optional<ForeignFileSystem> foreignFileSystem(ByteSpan head, std::span<const FsProbe> kinds);

}  // namespace tavrel::fs::ext
