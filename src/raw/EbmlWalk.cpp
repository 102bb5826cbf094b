#include <algorithm>
#include <cstdint>

#include "raw/FamilyWalks.h"

namespace tavrel::raw {

namespace {

constexpr std::uint32_t kEbml = 0x1A45DFA3;
constexpr std::uint32_t kSegment = 0x18538067;
constexpr std::uint32_t kCluster = 0x1F43B675;
// The Segment's own children; Void and CRC-32 may stand anywhere.
constexpr std::uint32_t kSegmentChildren[] = {0x114D9B74, 0x1549A966, 0x1654AE6B, kCluster, 0x1C53BB6B,
                                              0x1941A469, 0x1043A770, 0x1254C367, 0xEC,       0xBF};

struct Element {
    std::uint32_t id = 0;
    std::int64_t size = 0;  // -1: unknown
    std::int64_t header = 0;
};

// A variable-length number at p: its length (1 to 8 from the leading zero bits
// of the first byte), and its value with (for a size) the marker bit cleared.
// Length 0 when it does not fit or no marker bit is set.
int vint(WalkCursor& c, std::int64_t p, std::uint64_t& value, bool keepMarker) {
    const int first = c.at(p);
    if (first <= 0) return 0;
    int length = 1;
    while (!(first & (0x80 >> (length - 1)))) ++length;
    value = keepMarker ? static_cast<std::uint64_t>(first) : static_cast<std::uint64_t>(first & (0xFF >> length));
    for (int i = 1; i < length; ++i) {
        const int b = c.at(p + i);
        if (b < 0) return 0;
        value = value << 8 | static_cast<std::uint64_t>(b);
    }
    return length;
}

// The element at p; false when its header does not fit or is no element header.
bool elementAt(WalkCursor& c, std::int64_t p, Element& e) {
    std::uint64_t id = 0, size = 0;
    const int idLength = vint(c, p, id, true);
    if (idLength == 0 || idLength > 4) return false;
    const int sizeLength = vint(c, p + idLength, size, false);
    if (sizeLength == 0) return false;
    e.id = static_cast<std::uint32_t>(id);
    // All value bits set: the size is unknown.
    e.size = size == (1ULL << (7 * sizeLength)) - 1 ? -1 : static_cast<std::int64_t>(size);
    e.header = idLength + sizeLength;
    return true;
}

bool segmentChild(std::uint32_t id) {
    return std::find(std::begin(kSegmentChildren), std::end(kSegmentChildren), id) != std::end(kSegmentChildren);
}

}  // namespace

Walked ebmlWalk(WalkCursor& c) {
    Element e;
    if (!elementAt(c, 0, e) || e.id != kEbml) return {WalkEnd::Damaged, 0};
    if (e.size < 0 || e.size > c.room() - e.header) return {WalkEnd::Truncated, 0};
    const std::int64_t segmentAt = e.header + e.size;
    if (!elementAt(c, segmentAt, e)) return c.at(segmentAt) < 0 ? Walked{WalkEnd::Truncated, segmentAt} : brokenAt(c, segmentAt);
    if (e.id != kSegment) return brokenAt(c, segmentAt);
    if (e.size >= 0) {
        if (e.size > c.room() - segmentAt - e.header) return {WalkEnd::Truncated, segmentAt};
        return {WalkEnd::Complete, segmentAt + e.header + e.size};
    }
    // A Segment of unknown size (written live) ends with its last child element.
    std::int64_t p = segmentAt + e.header;
    bool any = false;
    while (true) {
        if (!elementAt(c, p, e) || !segmentChild(e.id)) {
            if (any) return {WalkEnd::Complete, p};
            return c.at(p) < 0 ? Walked{WalkEnd::Truncated, p} : brokenAt(c, p);
        }
        // A cluster of unknown size too: its end is not told by its header.
        if (e.size < 0) return {WalkEnd::Damaged, p};
        if (e.size > c.room() - p - e.header) return {WalkEnd::Truncated, p};
        p += e.header + e.size;
        any = true;
    }
}

}  // namespace tavrel::raw
