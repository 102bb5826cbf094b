#include <array>
#include <cstdint>

#include "raw/FamilyWalks.h"
#include "util/Bytes.h"

namespace tavrel::raw {

namespace {

// A frame is at most 65536 samples of 8 channels of 32 bits, plus its header.
constexpr std::int64_t kMaxFrame = 65536 * 8 * 4 + 64;
constexpr int kMaxMetadataBlocks = 1024;

constexpr std::array<std::uint8_t, 256> crc8Table() {
    std::array<std::uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
        int crc = i;
        for (int b = 0; b < 8; ++b) crc = (crc & 0x80) ? ((crc << 1) ^ 0x07) & 0xFF : (crc << 1) & 0xFF;
        t[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(crc);
    }
    return t;
}
constexpr std::array<std::uint16_t, 256> crc16Table() {
    std::array<std::uint16_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
        int crc = i << 8;
        for (int b = 0; b < 8; ++b) crc = (crc & 0x8000) ? ((crc << 1) ^ 0x8005) & 0xFFFF : (crc << 1) & 0xFFFF;
        t[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(crc);
    }
    return t;
}
constexpr auto kCrc8 = crc8Table();
constexpr auto kCrc16 = crc16Table();

struct Frame {
    std::int64_t headerLength = 0;
    std::int64_t blockSize = 0;
    std::int64_t number = 0;  // frame number, or first sample number when block sizes vary
    bool variable = false;
};

// The frame header at p, checked field by field and by its CRC-8.
bool frameAt(WalkCursor& c, std::int64_t p, Frame& f) {
    int bytes[16] = {};
    std::int64_t n = 0;
    const auto next = [&] {
        const int b = c.at(p + n);
        if (b >= 0 && n < 16) bytes[n] = b;
        ++n;
        return b;
    };
    if (next() != 0xFF) return false;
    const int sync = next();
    if (sync != 0xF8 && sync != 0xF9) return false;
    const int sizes = next(), layout = next();
    if (sizes < 0 || layout < 0) return false;
    const int blockCode = sizes >> 4, rateCode = sizes & 0x0F;
    if (blockCode == 0 || rateCode == 15 || (layout >> 4) > 10 || (layout & 0x01) || ((layout >> 1) & 7) == 3)
        return false;
    // The frame or sample number, coded like UTF-8 (up to 7 bytes).
    int first = next();
    if (first < 0 || first == 0xFF || (first & 0xC0) == 0x80) return false;
    int extra = 0;
    while (extra < 6 && (first & (0x40 >> extra))) ++extra;
    if (!(first & 0x80)) extra = 0;
    std::int64_t number = extra ? first & (0x3F >> extra) : first;
    for (int i = 0; i < extra; ++i) {
        const int b = next();
        if (b < 0 || (b & 0xC0) != 0x80) return false;
        number = number << 6 | (b & 0x3F);
    }
    std::int64_t block = 0;
    if (blockCode == 1) block = 192;
    else if (blockCode <= 5) block = 576LL << (blockCode - 2);
    else if (blockCode >= 8) block = 256LL << (blockCode - 8);
    else if (blockCode == 6) block = next() + 1;
    else {
        const int h = next(), l = next();
        block = h < 0 || l < 0 ? 0 : (h << 8 | l) + 1;
    }
    if (block <= 0) return false;
    if (rateCode == 12) {
        if (next() < 0) return false;
    } else if (rateCode == 13 || rateCode == 14) {
        if (next() < 0 || next() < 0) return false;
    }
    const int crc = next();
    if (crc < 0 || n > 16) return false;
    std::uint8_t sum = 0;
    for (std::int64_t i = 0; i + 1 < n; ++i) sum = kCrc8[sum ^ bytes[i]];
    if (sum != crc) return false;
    f = {n, block, number, sync == 0xF9};
    return true;
}

}  // namespace

Walked flacWalk(WalkCursor& c) {
    std::array<std::uint8_t, 42> head{};
    if (!c.read(0, head)) return {WalkEnd::Truncated, 0};
    if (head[0] != 'f' || head[1] != 'L' || head[2] != 'a' || head[3] != 'C' || (head[4] & 0x7F) != 0 ||
        be32(head, 4) % 0x1000000 != 34)
        return {WalkEnd::Damaged, 0};
    // STREAMINFO: the largest frame (0: unknown) and the total samples (0: unknown).
    const std::int64_t maxFrame = be32(head, 15) >> 8;
    const std::int64_t total = static_cast<std::int64_t>(be64(head, 18) & 0xFFFFFFFFFULL);
    const std::int64_t frameBound = maxFrame > 0 ? maxFrame : kMaxFrame;
    std::int64_t p = 4;
    for (int blocks = 0;; ++blocks) {
        const int flags = c.at(p);
        const std::int64_t length = c.be32(p) & 0xFFFFFF;
        if (flags < 0 || c.be32(p) < 0) return {WalkEnd::Truncated, p};
        if ((flags & 0x7F) == 127 || blocks >= kMaxMetadataBlocks) return brokenAt(c, p);
        if (length > c.room() - p - 4) return {WalkEnd::Truncated, p};
        p += 4 + length;
        if (flags & 0x80) break;
    }
    Frame f;
    if (!frameAt(c, p, f)) return c.at(p) < 0 ? Walked{WalkEnd::Truncated, p} : brokenAt(c, p);
    std::int64_t samples = 0;
    while (true) {
        samples += f.blockSize;
        const bool last = total > 0 && samples >= total;
        const std::int64_t expected = f.variable ? f.number + f.blockSize : f.number + 1;
        // The frame ends where the CRC-16 over it (its own checksum included)
        // comes to zero and the next frame, or nothing (after the last), begins.
        std::uint16_t crc = 0;
        std::int64_t q = p;
        Frame nextFrame;
        bool found = false;
        while (!found) {
            const int b = c.at(q);
            if (b < 0) return {WalkEnd::Truncated, p};
            crc = static_cast<std::uint16_t>((crc << 8) ^ kCrc16[((crc >> 8) ^ b) & 0xFF]);
            ++q;
            if (q - p > frameBound) return brokenAt(c, p);
            if (crc != 0 || q - p < f.headerLength + 3) continue;
            if (last) return {WalkEnd::Complete, q};
            found = frameAt(c, q, nextFrame) && nextFrame.number == expected && nextFrame.variable == f.variable;
            // Without a total, the frame after which no frame follows is the last.
            if (!found && total == 0 && c.at(q) != 0xFF) return {WalkEnd::Complete, q};
        }
        p = q;
        f = nextFrame;
    }
}

}  // namespace tavrel::raw
