#include "image/VhdFormat.h"

#include <cstring>
#include <string>

#include "util/Unicode.h"

namespace tavrel {

std::optional<VhdFooter> decodeVhdFooter(ByteSpan b) {
    if (b.size() < kVhdFooterSize) return std::nullopt;
    VhdFooter f;
    f.hasCookie = std::memcmp(b.data(), kVhdCookie, 8) == 0;
    f.features = be32(b, 0x08);
    f.formatVersion = be32(b, 0x0C);
    f.dataOffset = be64(b, 0x10);
    f.timeStamp = be32(b, 0x18);
    f.originalSize = be64(b, 0x28);
    f.currentSize = be64(b, 0x30);
    f.cylinders = be16(b, 0x38);
    f.heads = u8(b, 0x3A);
    f.sectorsPerTrack = u8(b, 0x3B);
    f.diskType = be32(b, 0x3C);
    return f;
}

std::optional<VhdDynamicHeader> decodeVhdDynamicHeader(ByteSpan b) {
    if (b.size() < kVhdDynamicHeaderSize) return std::nullopt;
    VhdDynamicHeader h;
    h.hasCookie = std::memcmp(b.data(), "cxsparse", 8) == 0;
    h.dataOffset = be64(b, 0x08);
    h.tableOffset = be64(b, 0x10);
    h.maxTableEntries = be32(b, 0x1C);
    h.blockSize = be32(b, 0x20);
    // Parent Unicode Name: 256 UTF-16 big-endian units at 0x40, NUL-padded.
    std::u16string name;
    for (std::size_t at = 0x40; at < 0x240; at += 2) {
        const std::uint16_t unit = be16(b, at);
        if (unit == 0) break;
        name.push_back(static_cast<char16_t>(unit));
    }
    h.parentName = utf8FromUtf16(name);
    return h;
}

std::vector<std::int64_t> vhdFooterCandidates(std::int64_t fileLength) {
    std::vector<std::int64_t> at;
    const auto full = static_cast<std::int64_t>(kVhdFooterSize);
    if (fileLength >= full) at.push_back(fileLength - full);
    if (fileLength >= full - 1) at.push_back(fileLength - full + 1);
    if (fileLength >= full && fileLength - full != 0) at.push_back(0);
    return at;
}

bool looksLikeVhd(const ImageProbe& probe) {
    for (const std::int64_t at : vhdFooterCandidates(probe.length)) {
        const ByteSpan cookie = probe.at(at, 8);
        if (!cookie.empty() && std::memcmp(cookie.data(), kVhdCookie, 8) == 0) return true;
    }
    return false;
}

}  // namespace tavrel
