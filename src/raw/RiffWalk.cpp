#include <array>
#include <cstdint>

#include "raw/FamilyWalks.h"
#include "util/Bytes.h"

namespace tavrel::raw {

namespace {

bool fourCc(const std::uint8_t* id) {
    for (int i = 0; i < 4; ++i)
        if (id[i] < 0x20 || id[i] > 0x7E) return false;
    return true;
}

bool is(const std::uint8_t* id, const char* text) {
    for (int i = 0; i < 4; ++i)
        if (id[i] != static_cast<std::uint8_t>(text[i])) return false;
    return true;
}

}  // namespace

Walked riffWalk(WalkCursor& c) {
    // "RIFF", the size of what follows, the form type, the first chunk's id.
    std::array<std::uint8_t, 16> header{};
    if (!c.read(0, header)) return {WalkEnd::Truncated, 0};
    if (!is(header.data(), "RIFF") || !fourCc(header.data() + 8) || !fourCc(header.data() + 12))
        return {WalkEnd::Damaged, 0};
    const bool avi = is(header.data() + 8, "AVI ");
    std::int64_t p = 0;
    while (true) {
        const std::int64_t size = le32(header, 4);
        if (size < 4) return brokenAt(c, p);
        // The outer chunk's size: its pad byte, if any, is left out (writers keep
        // the RIFF size even).
        const std::int64_t length = 8 + size;
        if (length > c.room() - p) return {WalkEnd::Truncated, p};
        p += length;
        // A large AVI goes on in RIFF "AVIX" chunks.
        if (!avi || !c.read(p, header) || !is(header.data(), "RIFF") || !is(header.data() + 8, "AVIX"))
            return {WalkEnd::Complete, p};
    }
}

}  // namespace tavrel::raw
