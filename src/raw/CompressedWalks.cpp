#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "raw/FamilyWalks.h"
#include "util/Bytes.h"

namespace tavrel::raw {

namespace {

// Output a gzip member may inflate to before the walk gives up on it: the work
// stays bounded however well a hostile stream compresses.
constexpr std::uint64_t kMaxInflated = std::uint64_t{1} << 30;

bool gzipMemberAt(WalkCursor& c, std::int64_t p) { return c.at(p) == 0x1F && c.at(p + 1) == 0x8B && c.at(p + 2) == 8; }

std::uint32_t crcOf(ByteSpan bytes) {
    return static_cast<std::uint32_t>(crc32(0L, bytes.data(), static_cast<uInt>(bytes.size())));
}

// Inflates the gzip member at p; its length, or the walk's end when it fails.
Walked gzipMember(WalkCursor& c, std::int64_t p) {
    z_stream z{};
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) return {WalkEnd::Damaged, p};
    std::vector<std::uint8_t> in(65536), out(65536);
    std::int64_t fed = p;
    Walked walked{WalkEnd::Truncated, p};
    while (true) {
        if (z.avail_in == 0) {
            const std::int64_t n = std::min<std::int64_t>(static_cast<std::int64_t>(in.size()), c.room() - fed);
            if (n <= 0) break;
            c.read(fed, std::span(in).first(static_cast<std::size_t>(n)));
            fed += n;
            z.next_in = in.data();
            z.avail_in = static_cast<uInt>(n);
        }
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        const int r = inflate(&z, Z_NO_FLUSH);
        if (r == Z_STREAM_END) {
            walked = {WalkEnd::Complete, p + static_cast<std::int64_t>(z.total_in)};
            break;
        }
        if (r != Z_OK && r != Z_BUF_ERROR) {
            walked = {WalkEnd::Damaged, p};
            break;
        }
        if (z.total_out > kMaxInflated) {
            walked = {WalkEnd::Damaged, p};
            break;
        }
    }
    inflateEnd(&z);
    return walked;
}

}  // namespace

Walked gzipWalk(WalkCursor& c) {
    if (!gzipMemberAt(c, 0)) return {WalkEnd::Damaged, 0};
    std::int64_t p = 0;
    // Members may follow one another (concatenated files).
    do {
        const Walked member = gzipMember(c, p);
        if (member.end != WalkEnd::Complete) return p > 0 ? Walked{WalkEnd::Complete, p} : member;
        p = member.length;
    } while (gzipMemberAt(c, p));
    return {WalkEnd::Complete, p};
}

Walked bzip2Walk(WalkCursor& c) {
    constexpr std::uint64_t kBlock = 0x314159265359, kEnd = 0x177245385090, kMask = 0xFFFFFFFFFFFF;
    const auto streamAt = [&](std::int64_t p) {
        const int level = c.at(p + 3);
        if (c.at(p) != 'B' || c.at(p + 1) != 'Z' || c.at(p + 2) != 'h' || level < '1' || level > '9') return false;
        std::uint64_t magic = 0;
        for (int i = 4; i < 10; ++i) magic = magic << 8 | static_cast<std::uint64_t>(std::max(c.at(p + i), 0));
        return magic == kBlock || magic == kEnd;
    };
    if (!streamAt(0)) return {WalkEnd::Damaged, 0};
    std::int64_t p = 0;
    do {
        // The end-of-stream marker is bit-aligned: shift the bits through a 48-bit
        // window until it holds the marker; a 32-bit checksum and padding to the
        // byte follow it.
        std::uint64_t window = 0;
        std::int64_t q = p + 4;
        bool ended = false;
        while (!ended) {
            const int b = c.at(q);
            if (b < 0) return {WalkEnd::Truncated, p};
            for (int bit = 7; bit >= 0 && !ended; --bit) {
                window = (window << 1 | static_cast<std::uint64_t>((b >> bit) & 1)) & kMask;
                if (window != kEnd) continue;
                ended = true;
                // The checksum's 32 bits: `bit` of them in this byte, the rest in
                // the bytes after it, the last one padded.
                q += 1 + (32 - bit + 7) / 8;
            }
            if (!ended) ++q;
        }
        if (q > c.room()) return {WalkEnd::Truncated, p};
        p = q;
    } while (streamAt(p));
    return {WalkEnd::Complete, p};
}

Walked xzWalk(WalkCursor& c) {
    static constexpr std::uint8_t kMagic[6] = {0xFD, '7', 'z', 'X', 'Z', 0};
    std::array<std::uint8_t, 12> header{};
    if (!c.read(0, header)) return {WalkEnd::Truncated, 0};
    if (!std::equal(std::begin(kMagic), std::end(kMagic), header.begin()) || header[6] != 0 || header[7] > 0x0F ||
        crcOf(subSpan(header, 6, 2)) != le32(header, 8))
        return {WalkEnd::Damaged, 0};
    // The stream footer lies on a 4-byte boundary: its checksum, the index's size,
    // the stream flags again, then "YZ". The index it points to starts with 0.
    std::array<std::uint8_t, 12> footer{};
    for (std::int64_t p = 12;; p += 4) {
        if (c.at(p + 11) < 0) return {WalkEnd::Truncated, 12};
        if (c.at(p + 10) != 'Y' || c.at(p + 11) != 'Z') continue;
        c.read(p, footer);
        if (footer[8] != header[6] || footer[9] != header[7] || crcOf(subSpan(footer, 4, 6)) != le32(footer, 0))
            continue;
        const std::int64_t index = p - (std::int64_t{le32(footer, 4)} + 1) * 4;
        if (index < 12 || c.at(index) != 0) continue;
        return {WalkEnd::Complete, p + 12};
    }
}

Walked sevenZipWalk(WalkCursor& c) {
    static constexpr std::uint8_t kMagic[6] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
    std::array<std::uint8_t, 32> header{};
    if (!c.read(0, header)) return {WalkEnd::Truncated, 0};
    if (!std::equal(std::begin(kMagic), std::end(kMagic), header.begin()) || header[6] != 0 ||
        crcOf(subSpan(header, 12, 20)) != le32(header, 8))
        return {WalkEnd::Damaged, 0};
    // The next header (the archive's directory) ends the file.
    const std::uint64_t offset = le64(header, 12), size = le64(header, 20);
    const auto room = static_cast<std::uint64_t>(c.room() - 32);
    if (offset > room || size > room - offset) return {WalkEnd::Truncated, 32};
    return {WalkEnd::Complete, 32 + static_cast<std::int64_t>(offset + size)};
}

}  // namespace tavrel::raw
