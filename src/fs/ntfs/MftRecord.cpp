#include "fs/ntfs/MftRecord.h"

#include "fs/ntfs/NtfsTypes.h"
#include "util/Unicode.h"

namespace tavrel::fs {

RecordHeader decodeRecordHeader(ByteSpan r) {
    RecordHeader h;
    h.tag = le32(r, 0);
    h.usaOffset = le16(r, 4);
    h.usaCount = le16(r, 6);
    h.sequence = le16(r, 16);
    h.firstAttribute = le16(r, 20);
    h.flags = le16(r, 22);
    h.bytesInUse = le32(r, 24);
    h.bytesAllocated = le32(r, 28);
    h.baseReference = le64(r, 32);
    if (h.usaOffset >= 48 && r.size() >= 48) h.recordNumber = le32(r, 44);
    return h;
}

bool applyFixup(MutableByteSpan record) {
    const std::size_t size = record.size();
    const std::size_t usaOffset = le16(record, 4);
    const std::size_t count = le16(record, 6);
    const std::uint16_t marker = le16(record, usaOffset);
    bool intact = true;
    for (std::size_t k = 1; k < count; ++k) {
        const std::size_t end = 512 * k;  // one past the stride's last byte
        const std::size_t entry = usaOffset + 2 * k;
        if (end > size || !fits(size, entry, 2)) break;
        if (le16(record, end - 2) != marker) intact = false;
        record[end - 2] = record[entry];
        record[end - 1] = record[entry + 1];
    }
    return intact;
}

AttributeWalk walkAttributes(ByteSpan r) {
    AttributeWalk walk;
    walk.overran = true;  // until the end marker is met
    std::vector<AttributeHeader>& out = walk.attributes;
    std::size_t pos = le16(r, 20);
    // Each attribute takes at least 16 bytes, which bounds the walk.
    const std::size_t maxCount = r.size() / 16 + 1;
    while (out.size() < maxCount && fits(r.size(), pos, 4)) {
        AttributeHeader a;
        a.offset = static_cast<std::uint32_t>(pos);
        a.type = le32(r, pos);
        if (a.type == kAttrEnd) {
            walk.overran = false;
            break;
        }
        if (!fits(r.size(), pos, 8)) break;
        const std::uint32_t length = le32(r, pos + 4);
        if (length == 0) break;
        const std::size_t room = r.size() - pos;
        a.length = static_cast<std::uint32_t>(length < room ? length : room);
        const ByteSpan attr = r.subspan(pos, a.length);
        a.nonResident = u8(attr, 8) != 0;
        a.nameLength = u8(attr, 9);
        a.nameOffset = le16(attr, 10);
        a.flags = le16(attr, 12);
        if (!a.nonResident) {
            a.valueLength = le32(attr, 16);
            a.valueOffset = le16(attr, 20);
        } else {
            a.firstVcn = le64(attr, 16);
            a.lastVcn = le64(attr, 24);
            a.runListOffset = le16(attr, 32);
            a.compressionExponent = le16(attr, 34);
            a.allocatedSize = le64(attr, 40);
            a.realSize = le64(attr, 48);
            a.initializedSize = le64(attr, 56);
        }
        out.push_back(a);
        if (length > room || length < 16) break;  // clipped or too short to step on safely
        pos += length;
    }
    return walk;
}

std::vector<AttributeHeader> collectAttributes(ByteSpan r) { return walkAttributes(r).attributes; }

ByteSpan residentValue(ByteSpan r, const AttributeHeader& a) {
    const ByteSpan attr = subSpan(r, a.offset, a.length);
    if (attr.empty() || a.nonResident || a.valueOffset > attr.size()) return {};
    const std::size_t room = attr.size() - a.valueOffset;
    return attr.subspan(a.valueOffset, a.valueLength < room ? a.valueLength : room);
}

ByteSpan runListBytes(ByteSpan r, const AttributeHeader& a) {
    const ByteSpan attr = subSpan(r, a.offset, a.length);
    if (attr.empty() || !a.nonResident || a.runListOffset >= attr.size()) return {};
    return attr.subspan(a.runListOffset);
}

std::optional<FileNameValue> decodeFileName(ByteSpan v) {
    if (v.size() < 66) return std::nullopt;
    FileNameValue f;
    f.parentReference = le64(v, 0);
    std::uint64_t low48 = f.parentReference & 0xFFFFFFFFFFFFULL;
    if (low48 & 0x800000000000ULL) low48 |= 0xFFFF000000000000ULL;
    f.parentRecord = static_cast<std::int64_t>(low48);
    f.parentSequence = static_cast<std::uint16_t>(f.parentReference >> 48);
    f.allocatedSize = le64(v, 40);
    f.realSize = le64(v, 48);
    f.fileAttributes = le32(v, 56);
    const std::size_t length = u8(v, 64);
    f.nameSpace = u8(v, 65);
    const ByteSpan name = subSpan(v, 66, length * 2);
    if (name.size() != length * 2) return std::nullopt;
    f.name = utf8FromUtf16le(name);
    return f;
}

std::optional<StandardInformation> decodeStandardInformation(ByteSpan v) {
    if (v.size() < 36) return std::nullopt;
    StandardInformation s;
    s.created = le64(v, 0);
    s.modified = le64(v, 8);
    s.mftModified = le64(v, 16);
    s.accessed = le64(v, 24);
    s.fileAttributes = le32(v, 32);
    return s;
}

std::string attributeText(std::uint32_t a) {
    std::string t;
    if (a & 0x1) t += "-R";
    if (a & 0x2) t += "-H";
    if (a & 0x200) t += "-S";
    if (a & 0x20) t += "-A";
    if (a & 0x800) t += "-C";
    if (a & 0x4000) t += "-E";
    return t;
}

}  // namespace tavrel::fs
