#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "raw/FamilyWalks.h"
#include "util/Bytes.h"

namespace tavrel::raw {

namespace {

constexpr int kBeginsStream = 0x02;
constexpr int kEndsStream = 0x04;
// Logical streams followed at once; more is no file a carve can tell apart.
constexpr std::size_t kMaxStreams = 64;

// A page header: "OggS", version 0, flags, granule, serial, sequence, checksum,
// segment count; 27 bytes.
bool pageAt(WalkCursor& c, std::int64_t p, std::array<std::uint8_t, 27>& header) {
    return c.read(p, header) && header[0] == 'O' && header[1] == 'g' && header[2] == 'g' && header[3] == 'S' &&
           header[4] == 0 && (header[5] & ~0x07) == 0;
}

}  // namespace

Walked oggWalk(WalkCursor& c) {
    std::array<std::uint8_t, 27> header{};
    if (!pageAt(c, 0, header) || !(header[5] & kBeginsStream)) return {WalkEnd::Damaged, 0};
    std::vector<std::uint32_t> open;  // serials begun and not yet ended
    bool any = false;                 // a stream has ended
    std::int64_t p = 0;
    while (true) {
        if (!pageAt(c, p, header)) {
            if (open.empty() && any) return {WalkEnd::Complete, p};
            return c.at(p + 26) < 0 ? Walked{WalkEnd::Truncated, p} : brokenAt(c, p);
        }
        const std::uint32_t serial = le32(header, 14);
        const int flags = header[5];
        auto it = std::find(open.begin(), open.end(), serial);
        if (flags & kBeginsStream) {
            // A new stream begins only beside the open ones (grouped) or after all
            // have ended (chained).
            if (it != open.end() || open.size() >= kMaxStreams) return brokenAt(c, p);
            open.push_back(serial);
            it = open.end() - 1;
        } else if (it == open.end()) {
            // A page of no open stream: the file ended before it when all streams had.
            if (open.empty() && any) return {WalkEnd::Complete, p};
            return brokenAt(c, p);
        }
        const int segments = header[26];
        std::int64_t body = 0;
        for (int s = 0; s < segments; ++s) {
            const int lacing = c.at(p + 27 + s);
            if (lacing < 0) return {WalkEnd::Truncated, p};
            body += lacing;
        }
        const std::int64_t length = 27 + segments + body;
        if (c.at(p + length - 1) < 0) return {WalkEnd::Truncated, p};  // the page does not fit
        p += length;
        if (flags & kEndsStream) {
            open.erase(it);
            any = true;
        }
    }
}

}  // namespace tavrel::raw
