// Decoders for one MFT record: the update-sequence fixup, the record header,
// the attribute headers and the $FILE_NAME / $STANDARD_INFORMATION values.
// All are pure functions over byte spans.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "util/Bytes.h"

namespace tavrel::fs {

struct RecordHeader {
    std::uint32_t tag = 0;
    std::uint16_t usaOffset = 0;
    std::uint16_t usaCount = 0;
    std::uint16_t sequence = 0;
    std::uint16_t firstAttribute = 0;
    std::uint16_t flags = 0;         // bit 0 in use, bit 1 folder
    std::uint32_t bytesInUse = 0;
    std::uint32_t bytesAllocated = 0;
    std::uint64_t baseReference = 0;
    // The record's own number (offset 44), present only when the header is long
    // enough to hold it: NTFS 3.0 records put the update-sequence array at 0x2A,
    // so their offset 44 holds fixup data, not a number.
    std::optional<std::uint32_t> recordNumber;
};

RecordHeader decodeRecordHeader(ByteSpan record);

// Restores the last two bytes of every 512-byte stride of the record from the
// update-sequence array. Returns false when a stride's stored marker did not
// match the sequence number (the bytes are restored anyway: a torn record is
// still the best data there is).
bool applyFixup(MutableByteSpan record);

struct AttributeHeader {
    std::uint32_t offset = 0;        // start of the attribute in the record
    std::uint32_t type = 0;
    std::uint32_t length = 0;        // clipped to the record
    bool nonResident = false;
    std::uint8_t nameLength = 0;     // attribute (stream) name, UTF-16 units
    std::uint16_t nameOffset = 0;
    std::uint16_t flags = 0;
    // Resident form.
    std::uint32_t valueLength = 0;
    std::uint16_t valueOffset = 0;
    // Non-resident form.
    std::uint64_t firstVcn = 0;
    std::uint64_t lastVcn = 0;
    std::uint16_t runListOffset = 0;
    std::uint16_t compressionExponent = 0;
    std::uint64_t allocatedSize = 0;
    std::uint64_t realSize = 0;
    std::uint64_t initializedSize = 0;
};

struct AttributeWalk {
    std::vector<AttributeHeader> attributes;
    // The walk did not end at the end marker: an attribute ran past the record,
    // had an impossible length, or the list ran off the record's end.
    bool overran = false;
};

// The attribute headers of a record in order, from the first-attribute offset
// up to the end marker, a zero length, or the end of the record; only headers
// that lie inside the record are returned.
AttributeWalk walkAttributes(ByteSpan record);
std::vector<AttributeHeader> collectAttributes(ByteSpan record);

// The value bytes of a resident attribute, clipped to the attribute and record.
ByteSpan residentValue(ByteSpan record, const AttributeHeader& attribute);

// The run list bytes of a non-resident attribute.
ByteSpan runListBytes(ByteSpan record, const AttributeHeader& attribute);

struct FileNameValue {
    std::uint64_t parentReference = 0;
    std::int64_t parentRecord = 0;   // low 48 bits, sign-extended from bit 47
    std::uint16_t parentSequence = 0;
    std::uint64_t allocatedSize = 0;
    std::uint64_t realSize = 0;
    std::uint32_t fileAttributes = 0;
    std::uint8_t nameSpace = 0;      // 0 POSIX, 1 Win32, 2 DOS, 3 Win32 and DOS
    std::string name;                // UTF-8
};

inline constexpr std::uint32_t kFileAttrDirectory = 0x10000000;

std::optional<FileNameValue> decodeFileName(ByteSpan value);

struct StandardInformation {
    std::uint64_t created = 0;       // FILETIMEs
    std::uint64_t modified = 0;
    std::uint64_t mftModified = 0;
    std::uint64_t accessed = 0;
    std::uint32_t fileAttributes = 0;
};

std::optional<StandardInformation> decodeStandardInformation(ByteSpan value);

// "-R" "-H" "-S" "-A" "-C" "-E" for the low 16 bits of the file attributes.
std::string attributeText(std::uint32_t fileAttributes);

}  // namespace tavrel::fs
