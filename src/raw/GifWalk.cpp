#include "raw/GifWalk.h"

namespace tavrel::raw {

namespace {

constexpr int kImage = 0x2C;
constexpr int kExtension = 0x21;
constexpr int kTrailer = 0x3B;

// Bytes of a colour table whose flags byte is `packed` (0 without a table).
std::int64_t colourTableBytes(int packed) { return (packed & 0x80) ? 3LL << ((packed & 7) + 1) : 0; }

// Skips a chain of data sub-blocks (a length byte, then that many bytes) and its
// zero-length terminator; the offset after it, or -1 when it runs out of range.
std::int64_t skipSubBlocks(WalkCursor& c, std::int64_t p) {
    while (true) {
        const int length = c.at(p);
        if (length < 0) return -1;
        p += 1 + length;
        if (length == 0) return p;
    }
}

}  // namespace

Walked gifWalk(WalkCursor& c) {
    // "GIF87a" or "GIF89a".
    const int version = c.at(4);
    if (c.at(0) != 'G' || c.at(1) != 'I' || c.at(2) != 'F' || c.at(3) != '8' || (version != '7' && version != '9') ||
        c.at(5) != 'a')
        return {WalkEnd::Damaged, 0};
    // Logical screen descriptor: width, height, flags, background, aspect.
    const int screenFlags = c.at(10);
    if (screenFlags < 0) return {WalkEnd::Truncated, 0};
    if (c.le16(6) <= 0 || c.le16(8) <= 0) return {WalkEnd::Damaged, 0};
    std::int64_t p = 13 + colourTableBytes(screenFlags);
    bool image = false;
    while (true) {
        const int block = c.at(p);
        if (block < 0) return {WalkEnd::Truncated, p};
        if (block == kTrailer) return image ? Walked{WalkEnd::Complete, p + 1} : brokenAt(c, p);
        std::int64_t next = -1;
        if (block == kExtension) {
            if (c.at(p + 1) < 0) return {WalkEnd::Truncated, p};
            next = skipSubBlocks(c, p + 2);
        } else if (block == kImage) {
            // Left, top, width, height, flags; then the LZW minimum code size.
            const int flags = c.at(p + 9);
            if (flags < 0) return {WalkEnd::Truncated, p};
            const std::int64_t codeAt = p + 10 + colourTableBytes(flags);
            const int codeSize = c.at(codeAt);
            if (codeSize < 0) return {WalkEnd::Truncated, p};
            if (codeSize < 1 || codeSize > 11) return brokenAt(c, p);
            next = skipSubBlocks(c, codeAt + 1);
            image = true;
        } else {
            return brokenAt(c, p);
        }
        if (next < 0) return {WalkEnd::Truncated, p};
        p = next;
    }
}

}  // namespace tavrel::raw
