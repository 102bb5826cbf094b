#include <algorithm>
#include <cstdint>
#include <vector>

#include "raw/FamilyWalks.h"

namespace tavrel::raw {

namespace {

constexpr int kStripOffsets = 273, kStripByteCounts = 279;
constexpr int kTileOffsets = 324, kTileByteCounts = 325;
constexpr int kJpegOffset = 513, kJpegLength = 514;
// Tags whose values are offsets of further directories (sub-images, EXIF, GPS,
// interoperability).
constexpr int kDirectoryTags[] = {330, 34665, 34853, 40965};
// Bounds on one walk: directories followed, and offsets or counts read.
constexpr std::size_t kMaxDirectories = 1024;
constexpr std::int64_t kMaxValues = 1 << 22;

// Bytes of one value of each field type (0: unknown type).
int typeSize(int type) {
    static constexpr int kSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    return type > 0 && type < 14 ? kSizes[type] : 0;
}

class Tiff {
public:
    Tiff(WalkCursor& c, bool big) : c_(c), big_(big) {}

    std::int64_t u16(std::int64_t p) { return big_ ? c_.be16(p) : c_.le16(p); }
    std::int64_t u32(std::int64_t p) {
        const std::int64_t a = u16(p), b = u16(p + 2);
        if (a < 0 || b < 0) return -1;
        return big_ ? (a << 16 | b) : (b << 16 | a);
    }
    // Value i of a SHORT or LONG field whose values start at p; -1 out of range.
    std::int64_t value(int type, std::int64_t p, std::int64_t i) { return type == 3 ? u16(p + 2 * i) : u32(p + 4 * i); }

private:
    WalkCursor& c_;
    bool big_;
};

struct Field {
    int type = 0;
    std::int64_t count = 0;
    std::int64_t at = 0;  // file offset of its values
};

}  // namespace

Walked tiffWalk(WalkCursor& c) {
    const int a = c.at(0), b = c.at(1);
    if (a != b || (a != 'I' && a != 'M')) return {WalkEnd::Damaged, 0};
    Tiff t(c, a == 'M');
    if (t.u16(2) != 42) return {WalkEnd::Damaged, 0};
    std::int64_t furthest = 8;
    std::int64_t budget = kMaxValues;
    // Bytes [at, at + bytes) belong to the file; false when they run past the range.
    const auto use = [&](std::int64_t at, std::int64_t bytes) {
        if (at < 0 || bytes < 0 || at > c.room() || bytes > c.room() - at) return false;
        furthest = std::max(furthest, at + bytes);
        return true;
    };
    std::vector<std::int64_t> queue{t.u32(4)}, seen;
    while (!queue.empty()) {
        const std::int64_t ifd = queue.back();
        queue.pop_back();
        if (ifd == 0 || std::find(seen.begin(), seen.end(), ifd) != seen.end()) continue;
        if (seen.size() >= kMaxDirectories || ifd < 8) return {WalkEnd::Damaged, furthest};
        seen.push_back(ifd);
        const std::int64_t entries = t.u16(ifd);
        if (entries == 0) return {WalkEnd::Damaged, furthest};
        if (entries < 0 || !use(ifd, 2 + 12 * entries + 4)) return {WalkEnd::Truncated, furthest};
        Field offsets, counts;
        for (std::int64_t e = 0; e < entries; ++e) {
            const std::int64_t p = ifd + 2 + 12 * e;
            const int tag = static_cast<int>(t.u16(p)), type = static_cast<int>(t.u16(p + 2));
            const std::int64_t count = t.u32(p + 4);
            if (typeSize(type) == 0) continue;  // unknown type: its size is not known
            const std::int64_t bytes = count * typeSize(type);
            Field f{type, count, p + 8};
            if (bytes > 4) {
                f.at = t.u32(p + 8);
                if (!use(f.at, bytes)) return {WalkEnd::Truncated, furthest};
            }
            if (tag == kStripOffsets || tag == kTileOffsets || tag == kJpegOffset) offsets = f;
            if (tag == kStripByteCounts || tag == kTileByteCounts || tag == kJpegLength) counts = f;
            if (std::find(std::begin(kDirectoryTags), std::end(kDirectoryTags), tag) != std::end(kDirectoryTags) &&
                (type == 4 || type == 13)) {
                for (std::int64_t i = 0; i < count && queue.size() < kMaxDirectories && budget-- > 0; ++i)
                    queue.push_back(t.value(4, f.at, i));
            }
        }
        // Strips or tiles: each offset with its byte count.
        if ((offsets.type == 3 || offsets.type == 4) && (counts.type == 3 || counts.type == 4)) {
            const std::int64_t n = std::min(offsets.count, counts.count);
            if (n > budget) return {WalkEnd::Damaged, furthest};
            budget -= n;
            for (std::int64_t i = 0; i < n; ++i) {
                const std::int64_t at = t.value(offsets.type, offsets.at, i), bytes = t.value(counts.type, counts.at, i);
                if (at < 0 || bytes < 0) return {WalkEnd::Truncated, furthest};
                if (!use(at, bytes)) return {WalkEnd::Truncated, furthest};
            }
        }
        queue.push_back(t.u32(ifd + 2 + 12 * entries));
    }
    return {WalkEnd::Complete, furthest};
}

}  // namespace tavrel::raw
