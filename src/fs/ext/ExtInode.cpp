#include "fs/ext/ExtInode.h"

#include <algorithm>

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

std::string permissionText(std::uint16_t mode) {
    static const char* const kBits[9] = {"-OE", "-OW", "-OR", "-GE", "-GW", "-GR", "-UE", "-UW", "-UR"};
    std::string text;
    for (int bit = 0; bit < 9; ++bit)
        if (mode & (1u << bit)) text += kBits[bit];
    return text;
}

}  // namespace tavrel::fs::ext
