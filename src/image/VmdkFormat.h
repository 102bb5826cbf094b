// Pure decoders for VMDK images: the hosted sparse extent header (all fields
// little-endian, sizes in 512-byte sectors), the grain marker of compressed
// grains, and the content test that tells a VMDK image (a sparse extent file or
// a text descriptor) apart.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "image/ImageProbe.h"
#include "image/OpenOutcome.h"
#include "util/Bytes.h"

namespace tavrel {

inline constexpr std::uint32_t kVmdkMagic = 0x564D444Bu;  // "KDMV"
inline constexpr std::size_t kVmdkHeaderSize = 512;
// The grain directory's offset of stream-optimized images: the real one is in
// the footer copy of the header near the end of the file.
inline constexpr std::uint64_t kVmdkDirectoryAtEnd = ~std::uint64_t{0};
// Grain table entries: 0 no data (or the parent's), 1 a grain of zeros.
inline constexpr std::uint32_t kVmdkGrainAbsent = 0;
inline constexpr std::uint32_t kVmdkGrainZero = 1;
// A compressed grain starts with its disk sector (8 bytes) and data size (4 bytes).
inline constexpr std::size_t kVmdkGrainMarkerSize = 12;
// A descriptor is a few KiB of text; larger files are no descriptor.
inline constexpr std::int64_t kVmdkMaxDescriptorBytes = 1048576;

// Shown when a VMDK image's metadata does not hold together.
inline constexpr const char* kNotVmdkText = "Please select valid vmdk file to continue the recovery process.";

namespace vmdkflags {
inline constexpr std::uint32_t kRedundantTable = 1u << 1;
inline constexpr std::uint32_t kCompressed = 1u << 16;
inline constexpr std::uint32_t kMarkers = 1u << 17;
}  // namespace vmdkflags

struct VmdkSparseHeader {
    std::uint32_t magic = 0;
    std::uint32_t version = 0;
    std::uint32_t flags = 0;
    std::uint64_t capacity = 0;          // sectors of the extent
    std::uint64_t grainSize = 0;         // sectors per grain
    std::uint64_t descriptorOffset = 0;  // sector of the embedded descriptor (0: none)
    std::uint64_t descriptorSize = 0;    // its length in sectors
    std::uint32_t tableEntries = 0;      // entries per grain table
    std::uint64_t redundantDirectory = 0;  // sector of the redundant grain directory
    std::uint64_t directory = 0;         // sector of the grain directory
    std::uint64_t overhead = 0;          // sectors of metadata before the first grain
    std::uint16_t compression = 0;       // 1: deflate

    bool compressed() const { return (flags & vmdkflags::kCompressed) != 0; }
    bool hasMarkers() const { return (flags & vmdkflags::kMarkers) != 0; }
};

// nullopt when the span is shorter than the header.
std::optional<VmdkSparseHeader> decodeVmdkSparseHeader(ByteSpan bytes);

// Why a header cannot be read from a file of fileLength bytes (an unsupported
// version or compression, or the damaged field's offset), or nullopt when it
// can: magic, version, grain and table sizes, capacity, and the grain directory
// inside the file. A header whose directory lies at the end
// (kVmdkDirectoryAtEnd) is checked after its footer is read.
std::optional<FormatProblem> vmdkHeaderProblem(const VmdkSparseHeader& header, std::int64_t fileLength);

// Sector of the grain directory this reader uses: the primary one, or the
// redundant copy when the primary is absent.
std::uint64_t vmdkDirectorySector(const VmdkSparseHeader& header);

// Entries of the grain directory: capacity / (grain size x table entries),
// rounded up. 0 for a header vmdkHeaderProblem refuses.
std::uint64_t vmdkDirectoryEntries(const VmdkSparseHeader& header);

// True when the text (up to its first NUL) reads as a VMDK descriptor.
bool looksLikeVmdkDescriptor(ByteSpan bytes);

// True for a sparse extent header's magic at offset 0 or a descriptor's text.
bool looksLikeVmdk(const ImageProbe& probe);

}  // namespace tavrel
