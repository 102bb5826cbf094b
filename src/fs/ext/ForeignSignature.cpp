#include "fs/ext/ForeignSignature.h"

#include <algorithm>
#include <string_view>

namespace tavrel::fs::ext {

namespace {

struct Signature {
    const char* phrase;
    std::size_t offset;
    std::string_view magic;
};

using namespace std::string_view_literals;

// Offsets and magic bytes as each format's own tools write them.
constexpr Signature kSignatures[] = {
    {"a btrfs file system", 0x10040, "_BHRfS_M"sv},  // superblock at 64 KiB, magic at its byte 64
    {"an XFS file system", 0, "XFSB"sv},
    {"a JFS file system", 0x8000, "JFS1"sv},
    {"a ReiserFS file system", 0x10034, "ReIsEr"sv},  // "ReIsErFs", "ReIsEr2Fs", "ReIsEr3Fs"
    {"an F2FS file system", 0x400, "\x10\x20\xF5\xF2"sv},
    {"a SquashFS file system", 0, "hsqs"sv},
    {"LUKS encryption", 0, "LUKS\xBA\xBE"sv},
    {"an LVM physical volume", 0x200, "LABELONE"sv},  // label in the second sector
    {"Linux swap space", 0xFF6, "SWAPSPACE2"sv},      // last bytes of the first 4 KiB page
};

}  // namespace

std::optional<ForeignFileSystem> foreignFileSystem(ByteSpan head) {
    for (const Signature& s : kSignatures) {
        const ByteSpan at = subSpan(head, s.offset, s.magic.size());
        if (at.size() == s.magic.size() &&
            std::equal(s.magic.begin(), s.magic.end(), at.begin(),
                       [](char m, std::uint8_t b) { return static_cast<std::uint8_t>(m) == b; }))
            return ForeignFileSystem{s.phrase, static_cast<std::int64_t>(s.offset)};
    }
    return std::nullopt;
}

}  // namespace tavrel::fs::ext
