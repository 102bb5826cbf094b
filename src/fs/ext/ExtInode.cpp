#include "fs/ext/ExtInode.h"

#include <algorithm>

#include "util/Crc32c.h"

namespace tavrel::fs::ext {

namespace {

// A time field and, when the inode's extra area reaches it, its extra field:
// bits 0-1 extend the seconds past 2038, bits 2-31 are nanoseconds.
std::optional<TimePoint> timeAt(ByteSpan b, std::size_t at, std::size_t extraAt, std::size_t extraEnd) {
    TimePoint p;
    p.seconds = static_cast<std::int32_t>(le32(b, at));
    if (extraAt + 4 <= extraEnd) {
        const std::uint32_t extra = le32(b, extraAt);
        p.seconds += static_cast<std::int64_t>(extra & 0x3) << 32;
        const std::uint32_t ns = extra >> 2;
        p.nanoseconds = ns < 1'000'000'000u ? ns : 0;
    }
    if (p.seconds == 0 && p.nanoseconds == 0) return std::nullopt;
    return p;
}

// The value of the in-inode extended attribute "system.data" (name index 7,
// name "data"): entries follow a 4-byte magic at the start of the extra area's
// free part; value offsets count from the first entry.
std::vector<std::uint8_t> inlineDataTail(ByteSpan b, std::size_t extraEnd) {
    const std::size_t start = (extraEnd + 3) & ~std::size_t{3};
    if (le32(b, start) != 0xEA020000u) return {};
    const std::size_t first = start + 4;
    std::size_t at = first;
    while (at + 16 <= b.size() && le32(b, at) != 0) {
        const std::uint8_t nameLen = u8(b, at);
        const std::uint8_t index = u8(b, at + 1);
        const std::uint16_t valueOffset = le16(b, at + 2);
        const std::uint32_t valueSize = le32(b, at + 8);
        const ByteSpan name = subSpan(b, at + 16, nameLen);
        if (name.size() != nameLen) break;
        if (index == 7 && nameLen == 4 && std::equal(name.begin(), name.end(), "data")) {
            const ByteSpan value = subSpan(b, first + valueOffset, valueSize);
            return {value.begin(), value.end()};
        }
        at += (16 + nameLen + 3) & ~std::size_t{3};
    }
    return {};
}

}  // namespace

bool ExtInode::mapCleared() const {
    if (extents()) return le16(blockMap, 0) != 0xF30A || le16(blockMap, 2) == 0;
    return std::all_of(blockMap.begin(), blockMap.end(), [](std::uint8_t v) { return v == 0; });
}

ExtInode decodeInode(ByteSpan b, const ExtSuperblock& sb) {
    ExtInode n;
    n.mode = le16(b, 0);
    n.size = le32(b, 4);
    n.dtime = le32(b, 20);
    n.links = le16(b, 26);
    n.blocks512 = le32(b, 28) | (static_cast<std::uint64_t>(le16(b, 116)) << 32);
    n.flags = le32(b, 32);
    const std::uint64_t high = le32(b, 108);
    // Directories kept an ACL block there before large directories existed.
    if (!n.isDirectory() || (sb.featureIncompat & kIncompatLargeDir)) n.size |= high << 32;
    const ByteSpan map = subSpan(b, 40, kBlockMapBytes);
    if (!map.empty()) std::copy(map.begin(), map.end(), n.blockMap.begin());

    // The extra area of large inodes: i_extra_isize bytes after the first 128.
    std::size_t extraEnd = 128;
    if (b.size() > 128 && sb.inodeSize > 128) extraEnd = std::min<std::size_t>(b.size(), 128 + le16(b, 128));
    n.changed = timeAt(b, 12, 0x84, extraEnd);
    n.modified = timeAt(b, 16, 0x88, extraEnd);
    n.accessed = timeAt(b, 8, 0x8C, extraEnd);
    if (0x94 <= extraEnd) n.created = timeAt(b, 0x90, 0x94, extraEnd);
    if (n.inlineData()) n.inlineTail = inlineDataTail(b, extraEnd);
    return n;
}

bool inodeChecksumMatches(ByteSpan b, std::uint32_t number, const ExtSuperblock& sb) {
    constexpr std::size_t kLo = 0x7C, kHi = 0x82, kOld = 128;
    if (b.size() < kOld) return false;
    // The checksum covers the inode number, the generation, then the whole
    // inode with its checksum fields taken as zero.
    std::uint8_t le[4] = {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
                          static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)};
    std::uint32_t crc = crc32c(sb.checksumSeed, ByteSpan(le, 4));
    crc = crc32c(crc, subSpan(b, 100, 4));
    const std::uint8_t zero[2] = {0, 0};
    crc = crc32c(crc, subSpan(b, 0, kLo));
    crc = crc32c(crc, ByteSpan(zero, 2));
    crc = crc32c(crc, subSpan(b, kLo + 2, kOld - kLo - 2));
    const bool hasHi = b.size() > kOld && le16(b, kOld) >= 4;
    if (b.size() > kOld) {
        crc = crc32c(crc, subSpan(b, kOld, kHi - kOld));
        std::size_t rest = kHi;
        if (hasHi) {
            crc = crc32c(crc, ByteSpan(zero, 2));
            rest += 2;
        }
        crc = crc32c(crc, subSpan(b, rest, b.size() - rest));
    }
    const std::uint32_t stored = le16(b, kLo) | (hasHi ? static_cast<std::uint32_t>(le16(b, kHi)) << 16 : 0u);
    return stored == (hasHi ? crc : (crc & 0xFFFF));
}

bool plausibleInode(ByteSpan b, std::uint32_t number, const ExtSuperblock& sb) {
    const ExtInode n = decodeInode(b, sb);
    if (n.empty()) return false;
    switch (n.type()) {
        case 0x1000: case 0x2000: case kModeDirectory: case 0x6000: case kModeRegular: case kModeSymlink: case 0xC000:
            break;
        default:
            return false;
    }
    if (b.size() > 128) {
        const std::size_t extra = le16(b, 128);
        if (extra > b.size() - 128 || extra % 4 != 0) return false;
    }
    if (n.extents() && !n.inlineData() && le16(n.blockMap, 0) != 0xF30A && !(n.freed() && n.mapCleared()))
        return false;
    return !sb.hasMetadataChecksums() || inodeChecksumMatches(b, number, sb);
}

}  // namespace tavrel::fs::ext
