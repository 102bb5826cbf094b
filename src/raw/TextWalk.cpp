#include <cstdint>

#include "raw/FamilyWalks.h"

namespace tavrel::raw {

namespace {

// Bytes of the UTF-8 sequence at p (1 for ASCII text), 0 when no text starts there:
// tab, line and page breaks and printable ASCII, or a well-formed multi-byte
// sequence.
int textBytes(WalkCursor& c, std::int64_t p) {
    const int b = c.at(p);
    if (b < 0) return 0;
    if ((b >= 0x20 && b < 0x7F) || (b >= 0x09 && b <= 0x0D)) return 1;
    int length = 0, low = 0x80, high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) length = 2;
    else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        if (b == 0xE0) low = 0xA0;
        if (b == 0xED) high = 0x9F;  // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        if (b == 0xF0) low = 0x90;
        if (b == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    for (int i = 1; i < length; ++i) {
        const int n = c.at(p + i);
        if (n < (i == 1 ? low : 0x80) || n > (i == 1 ? high : 0xBF)) return 0;
    }
    return length;
}

}  // namespace

Walked textWalk(WalkCursor& c) {
    std::int64_t p = 0;
    while (const int n = textBytes(c, p)) p += n;
    if (p == 0) return {WalkEnd::Damaged, 0};
    // The range ends amid text: where the text really ends is not known.
    if (c.at(p) < 0) return {WalkEnd::Truncated, p};
    return {WalkEnd::Complete, p};
}

}  // namespace tavrel::raw
