#include <array>
#include <cstdint>
#include <cstdlib>

#include "raw/FamilyWalks.h"
#include "util/Bytes.h"

namespace tavrel::raw {

Walked bmpWalk(WalkCursor& c) {
    // File header (14 bytes), then the bitmap header, whose first field is its size.
    std::array<std::uint8_t, 38> header{};
    if (!c.read(0, header)) return {WalkEnd::Truncated, 0};
    if (header[0] != 'B' || header[1] != 'M' || le32(header, 6) != 0) return {WalkEnd::Damaged, 0};
    const std::int64_t size = le32(header, 2), pixels = le32(header, 10), dib = le32(header, 14);
    if (!(dib == 12 || dib == 16 || dib == 40 || dib == 52 || dib == 56 || dib == 64 || dib == 108 || dib == 124))
        return {WalkEnd::Damaged, 0};
    if (pixels < 14 + dib || size < pixels) return {WalkEnd::Damaged, 0};
    std::int64_t width = 0, height = 0, bits = 0, compression = 0;
    if (dib == 12) {
        width = le16(header, 18);
        height = le16(header, 20);
        bits = le16(header, 24);
    } else {
        width = static_cast<std::int32_t>(le32(header, 18));
        height = std::llabs(static_cast<std::int32_t>(le32(header, 22)));
        bits = le16(header, 28);
        compression = le32(header, 30);
    }
    if (width <= 0 || height <= 0 || !(bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32))
        return {WalkEnd::Damaged, 0};
    // Uncompressed rows (or bit fields) are padded to 4 bytes: the pixels must fit
    // in the size stated.
    if (compression == 0 || compression == 3) {
        const std::int64_t row = (width * bits + 31) / 32 * 4;
        if (row > (size - pixels) / height) return {WalkEnd::Damaged, 0};
    }
    if (size > c.room()) return {WalkEnd::Truncated, 0};
    return {WalkEnd::Complete, size};
}

}  // namespace tavrel::raw
