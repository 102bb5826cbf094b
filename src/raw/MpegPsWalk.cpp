#include <cstdint>

#include "raw/FamilyWalks.h"

namespace tavrel::raw {

namespace {

constexpr int kPack = 0xBA;
constexpr int kSystemHeader = 0xBB;
constexpr int kEndCode = 0xB9;
// Stream ids from the program stream map (0xBC) up carry a 16-bit length.
constexpr int kFirstStream = 0xBC;

}  // namespace

Walked mpegPsWalk(WalkCursor& c) {
    std::int64_t p = 0;
    bool first = true;
    while (true) {
        const int a = c.at(p), b = c.at(p + 1), d = c.at(p + 2), id = c.at(p + 3);
        if (a < 0 || b < 0 || d < 0 || id < 0) return {WalkEnd::Truncated, p};
        if (first && (a != 0 || b != 0 || d != 1 || id != kPack)) return {WalkEnd::Damaged, 0};
        // Writers may leave out the end code: then the stream ends after its last
        // whole packet, where no start code follows.
        if (a != 0 || b != 0 || d != 1) return {WalkEnd::Complete, p};
        first = false;
        if (id == kEndCode) return {WalkEnd::Complete, p + 4};
        std::int64_t length = 0;
        if (id == kPack) {
            const int mark = c.at(p + 4);
            if (mark < 0) return {WalkEnd::Truncated, p};
            if ((mark & 0xC0) == 0x40) {
                // MPEG-2: 14 bytes and up to 7 stuffing bytes.
                const int stuffing = c.at(p + 13);
                if (stuffing < 0) return {WalkEnd::Truncated, p};
                length = 14 + (stuffing & 0x07);
            } else if ((mark & 0xF0) == 0x20) {
                length = 12;  // MPEG-1
            } else {
                return brokenAt(c, p);
            }
        } else if (id == kSystemHeader || id >= kFirstStream) {
            const std::int64_t size = c.be16(p + 4);
            if (size < 0) return {WalkEnd::Truncated, p};
            length = 6 + size;
        } else {
            return brokenAt(c, p);
        }
        if (c.at(p + length - 1) < 0) return {WalkEnd::Truncated, p};  // the packet does not fit
        p += length;
    }
}

}  // namespace tavrel::raw
