#include "fs/ext/ForeignSignature.h"

#include <algorithm>

namespace tavrel::fs::ext {

std::size_t foreignHeadBytes(std::span<const FsProbe> kinds) {
    std::size_t bytes = 0;
    for (const FsProbe& k : kinds)
        if (k.signature.phrase)
            bytes = std::max(bytes, static_cast<std::size_t>(k.signature.offset) + k.signature.magic.size());
    return bytes;
}

std::optional<ForeignFileSystem> foreignFileSystem(ByteSpan head, std::span<const FsProbe> kinds) {
    for (const FsProbe& k : kinds) {
        const Signature& s = k.signature;
        if (!s.phrase || s.offset < 0) continue;
        const ByteSpan at = subSpan(head, static_cast<std::size_t>(s.offset), s.magic.size());
        if (at.size() == s.magic.size() &&
            std::equal(s.magic.begin(), s.magic.end(), at.begin(),
                       [](char m, std::uint8_t b) { return static_cast<std::uint8_t>(m) == b; }))
            return ForeignFileSystem{s.phrase, s.offset};
    }
    return std::nullopt;
}

}  // namespace tavrel::fs::ext
