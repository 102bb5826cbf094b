// Decoder for the entries of an $ATTRIBUTE_LIST value.
#pragma once

#include <cstdint>
#include <vector>

#include "util/Bytes.h"

namespace tavrel::fs {

struct AttributeListEntry {
    std::uint32_t type = 0;
    std::uint16_t length = 0;
    std::uint8_t nameLength = 0;
    std::uint64_t startVcn = 0;
    std::uint64_t recordNumber = 0;  // low 48 bits of the file reference
    std::uint16_t sequence = 0;      // high 16 bits
    std::uint16_t attributeId = 0;
};

// Entries in order. The walk ends at the end of the bytes, at an entry of type
// 0 or 0xFFFFFFFF, at an entry whose length is too short to hold its fixed part
// (which includes a length of 0) or that runs past the end.
std::vector<AttributeListEntry> walkAttributeList(ByteSpan list);

}  // namespace tavrel::fs
