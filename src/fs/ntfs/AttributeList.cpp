#include "fs/ntfs/AttributeList.h"

namespace tavrel::fs {

std::vector<AttributeListEntry> walkAttributeList(ByteSpan list) {
    constexpr std::size_t kFixedPart = 26;
    std::vector<AttributeListEntry> out;
    std::size_t pos = 0;
    while (fits(list.size(), pos, kFixedPart)) {
        AttributeListEntry e;
        e.type = le32(list, pos);
        e.length = le16(list, pos + 4);
        if (e.type == 0 || e.type == 0xFFFFFFFF || e.length < kFixedPart || !fits(list.size(), pos, e.length)) break;
        e.nameLength = u8(list, pos + 6);
        e.startVcn = le64(list, pos + 8);
        const std::uint64_t reference = le64(list, pos + 16);
        e.recordNumber = reference & 0xFFFFFFFFFFFFULL;
        e.sequence = static_cast<std::uint16_t>(reference >> 48);
        e.attributeId = le16(list, pos + 24);
        out.push_back(e);
        pos += e.length;
    }
    return out;
}

}  // namespace tavrel::fs
