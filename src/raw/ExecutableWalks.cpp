#include <algorithm>
#include <array>
#include <cstdint>

#include "raw/FamilyWalks.h"
#include "util/Bytes.h"

namespace tavrel::raw {

namespace {

// Bounds on the tables walked: entries of an ELF table, sections of a PE.
constexpr std::uint64_t kMaxEntries = 1 << 20;
constexpr std::uint64_t kMaxSections = 65535;

// The furthest byte of a file, from [offset, offset + size) ranges it names;
// false once a range runs past the room the file has.
struct Extent {
    std::int64_t room = 0;
    std::int64_t end = 0;
    bool add(std::uint64_t offset, std::uint64_t size) {
        const auto r = static_cast<std::uint64_t>(room);
        if (offset > r || size > r - offset) return false;
        end = std::max(end, static_cast<std::int64_t>(offset + size));
        return true;
    }
};

}  // namespace

Walked elfWalk(WalkCursor& c) {
    std::array<std::uint8_t, 64> h{};
    if (!c.read(0, std::span(h).first(52))) return {WalkEnd::Truncated, 0};
    const bool wide = h[4] == 2, big = h[5] == 2;
    if (h[0] != 0x7F || h[1] != 'E' || h[2] != 'L' || h[3] != 'F' || (h[4] != 1 && h[4] != 2) ||
        (h[5] != 1 && h[5] != 2) || h[6] != 1)
        return {WalkEnd::Damaged, 0};
    if (wide && !c.read(0, h)) return {WalkEnd::Truncated, 0};
    const auto u16 = [&](ByteSpan s, std::size_t o) -> std::uint64_t { return big ? be16(s, o) : le16(s, o); };
    const auto u32 = [&](ByteSpan s, std::size_t o) -> std::uint64_t { return big ? be32(s, o) : le32(s, o); };
    const auto word = [&](ByteSpan s, std::size_t o) -> std::uint64_t {
        return wide ? (big ? be64(s, o) : le64(s, o)) : u32(s, o);
    };
    const std::uint64_t phoff = word(h, wide ? 32 : 28), shoff = word(h, wide ? 40 : 32);
    const std::uint64_t ehsize = u16(h, wide ? 52 : 40), phentsize = u16(h, wide ? 54 : 42),
                        phnum = u16(h, wide ? 56 : 44), shentsize = u16(h, wide ? 58 : 46);
    std::uint64_t shnum = u16(h, wide ? 60 : 48);
    if (ehsize < (wide ? 64u : 52u) || (phnum && phentsize < (wide ? 56u : 32u)) ||
        (shoff && shentsize < (wide ? 64u : 40u)))
        return {WalkEnd::Damaged, 0};
    Extent x{c.room(), static_cast<std::int64_t>(ehsize)};
    std::array<std::uint8_t, 64> e{};
    const std::size_t shRead = wide ? 40 : 24;
    if (shoff && shnum == 0) {
        // More sections than 16 bits count: the first section's size holds the count.
        if (!c.read(static_cast<std::int64_t>(std::min<std::uint64_t>(shoff, INT64_MAX)), std::span(e).first(shRead)))
            return {WalkEnd::Truncated, x.end};
        shnum = word(e, wide ? 32 : 20);
    }
    if (shnum > kMaxEntries || !x.add(phoff, phnum * phentsize) || (shoff && !x.add(shoff, shnum * shentsize)))
        return {WalkEnd::Truncated, x.end};
    for (std::uint64_t i = 0; i < phnum; ++i) {
        c.read(static_cast<std::int64_t>(phoff + i * phentsize), std::span(e).first(wide ? 40 : 32));
        if (!x.add(word(e, wide ? 8 : 4), word(e, wide ? 32 : 16))) return {WalkEnd::Truncated, x.end};
    }
    constexpr std::uint64_t kNoBits = 8;  // a section that takes no room in the file
    for (std::uint64_t i = 0; shoff && i < shnum; ++i) {
        c.read(static_cast<std::int64_t>(shoff + i * shentsize), std::span(e).first(shRead));
        if (u32(e, 4) == kNoBits || u32(e, 4) == 0) continue;
        if (!x.add(word(e, wide ? 24 : 16), word(e, wide ? 32 : 20))) return {WalkEnd::Truncated, x.end};
    }
    return {WalkEnd::Complete, x.end};
}

Walked peWalk(WalkCursor& c) {
    std::array<std::uint8_t, 64> dos{};
    if (!c.read(0, dos)) return {WalkEnd::Truncated, 0};
    if (dos[0] != 'M' || dos[1] != 'Z') return {WalkEnd::Damaged, 0};
    const std::int64_t pe = le32(dos, 0x3C);
    std::array<std::uint8_t, 24> coff{};
    if (pe < 0x40 || pe > c.room() - 24) return {WalkEnd::Damaged, 0};
    if (!c.read(pe, coff)) return {WalkEnd::Truncated, 0};
    if (coff[0] != 'P' || coff[1] != 'E' || coff[2] != 0 || coff[3] != 0) return {WalkEnd::Damaged, 0};
    const std::uint64_t sections = le16(coff, 6), symbols = le32(coff, 12), symbolCount = le32(coff, 16),
                        optional = le16(coff, 20);
    Extent x{c.room(), 0};
    const std::uint64_t table = static_cast<std::uint64_t>(pe) + 24 + optional;
    if (sections > kMaxSections || !x.add(table, sections * 40)) return {WalkEnd::Truncated, 0};
    // The optional header: its size of headers, and the certificate table, the one
    // data directory that gives a file offset (not an address in memory).
    std::array<std::uint8_t, 256> opt{};
    c.read(pe + 24, std::span(opt).first(std::min<std::size_t>(opt.size(), optional)));
    const std::uint16_t magic = le16(opt, 0);
    if (optional >= 64 && (magic == 0x10B || magic == 0x20B)) {
        if (!x.add(0, le32(opt, 60))) return {WalkEnd::Truncated, x.end};
        const std::size_t dirs = magic == 0x10B ? 96 : 112;
        const std::uint32_t count = le32(opt, dirs - 4);
        constexpr std::size_t kCertificates = 4;
        if (count > kCertificates && optional >= dirs + 8 * (kCertificates + 1)) {
            const std::uint32_t at = le32(opt, dirs + 8 * kCertificates), size = le32(opt, dirs + 8 * kCertificates + 4);
            if (at && !x.add(at, size)) return {WalkEnd::Truncated, x.end};
        }
    }
    std::array<std::uint8_t, 40> s{};
    for (std::uint64_t i = 0; i < sections; ++i) {
        c.read(static_cast<std::int64_t>(table + 40 * i), s);
        if (le32(s, 20) != 0 && !x.add(le32(s, 20), le32(s, 16))) return {WalkEnd::Truncated, x.end};
    }
    // A COFF symbol table: 18 bytes a symbol, then a string table that starts
    // with its own size.
    if (symbols) {
        const std::uint64_t strings = symbols + 18 * symbolCount;
        if (!x.add(symbols, 18 * symbolCount)) return {WalkEnd::Truncated, x.end};
        std::array<std::uint8_t, 4> size{};
        if (c.read(static_cast<std::int64_t>(strings), size) && le32(size, 0) >= 4 && !x.add(strings, le32(size, 0)))
            return {WalkEnd::Truncated, x.end};
    }
    return {WalkEnd::Complete, x.end};
}

}  // namespace tavrel::raw
