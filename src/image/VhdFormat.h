// Pure decoders of the VHD footer and dynamic disk header (all fields big-endian).
#pragma once

#include <cstdint>
#include <optional>

#include "util/Bytes.h"

namespace tavrel {

inline constexpr std::size_t kVhdFooterSize = 512;
inline constexpr std::size_t kVhdDynamicHeaderSize = 1024;
inline constexpr std::uint32_t kVhdUnallocated = 0xFFFFFFFFu;

enum class VhdDiskType : std::uint32_t { Fixed = 2, Dynamic = 3, Differencing = 4 };

struct VhdFooter {
    bool hasCookie = false;  // "conectix" at offset 0
    std::uint32_t features = 0;
    std::uint32_t formatVersion = 0;
    std::uint64_t dataOffset = 0;
    std::uint32_t timeStamp = 0;
    std::uint64_t originalSize = 0;
    std::uint64_t currentSize = 0;
    std::uint16_t cylinders = 0;
    std::uint8_t heads = 0;
    std::uint8_t sectorsPerTrack = 0;
    std::uint32_t diskType = 0;
};

struct VhdDynamicHeader {
    bool hasCookie = false;  // "cxsparse"
    std::uint64_t dataOffset = 0;
    std::uint64_t tableOffset = 0;
    std::uint32_t maxTableEntries = 0;
    std::uint32_t blockSize = 0;
};

// nullopt when the span is shorter than the structure.
std::optional<VhdFooter> decodeVhdFooter(ByteSpan bytes);
std::optional<VhdDynamicHeader> decodeVhdDynamicHeader(ByteSpan bytes);

}  // namespace tavrel
