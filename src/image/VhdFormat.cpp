#include "image/VhdFormat.h"

#include <cstring>

namespace tavrel {

std::optional<VhdFooter> decodeVhdFooter(ByteSpan b) {
    if (b.size() < kVhdFooterSize) return std::nullopt;
    VhdFooter f;
    f.hasCookie = std::memcmp(b.data(), "conectix", 8) == 0;
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
    return h;
}

}  // namespace tavrel
