// Other file systems and containers that Linux volumes carry under the same
// partition type as ext (MBR 0x83, GPT Linux data). A volume listed as ext
// whose first bytes hold none of ext's superblocks is looked up here, so that
// its refusal can say what the volume holds. Each is known by a fixed
// signature at a fixed offset from the volume's start.
#pragma once

#include <cstdint>
#include <optional>

#include "util/Bytes.h"

namespace tavrel::fs::ext {

// Bytes from the volume's start that cover every signature looked for.
inline constexpr std::size_t kForeignHeadBytes = 0x10048;

struct ForeignFileSystem {
    const char* phrase;   // "a btrfs file system", "LUKS encryption", ...
    std::int64_t offset;  // volume byte offset of the signature
};

// What `head` (the volume's first bytes, as many as could be read) holds, or
// nullopt when it holds none of the known signatures.
std::optional<ForeignFileSystem> foreignFileSystem(ByteSpan head);

}  // namespace tavrel::fs::ext
