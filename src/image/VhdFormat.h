// Pure decoders of the VHD footer and dynamic disk header (all fields big-endian).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/ImageProbe.h"
#include "util/Bytes.h"

namespace tavrel {

inline constexpr std::size_t kVhdFooterSize = 512;
inline constexpr std::size_t kVhdDynamicHeaderSize = 1024;
inline constexpr std::uint32_t kVhdUnallocated = 0xFFFFFFFFu;
inline constexpr const char* kVhdCookie = "conectix";

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
    std::string parentName;  // differencing images: the parent's file name (UTF-8)
};

// nullopt when the span is shorter than the structure.
std::optional<VhdFooter> decodeVhdFooter(ByteSpan bytes);
std::optional<VhdDynamicHeader> decodeVhdDynamicHeader(ByteSpan bytes);

// File offsets where a VHD footer may start, in the order they are tried: the
// last 512 bytes, the last 511 (early writers left the trailing footer one byte
// short; its missing last byte is reserved and reads as zero), then the copy at
// offset 0 that dynamic and differencing images carry.
std::vector<std::int64_t> vhdFooterCandidates(std::int64_t fileLength);

// True when a footer cookie sits at one of those offsets.
bool looksLikeVhd(const ImageProbe& probe);

}  // namespace tavrel
