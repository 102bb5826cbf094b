// Pure decoder of the VDI header (version 1.1 layout, all fields little-endian)
// and the content test that tells a VDI image apart.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "image/ImageProbe.h"
#include "image/OpenOutcome.h"
#include "util/Bytes.h"

namespace tavrel {

inline constexpr std::uint32_t kVdiSignature = 0xBEDA107Fu;
// The header fields this reader uses end here; the file must hold at least this.
inline constexpr std::size_t kVdiHeaderBytes = 0x188;
// Block map entries of blocks without data in the file: never written, or
// recorded as all zeros. Both read as zeros.
inline constexpr std::uint32_t kVdiBlockFree = 0xFFFFFFFFu;
inline constexpr std::uint32_t kVdiBlockZero = 0xFFFFFFFEu;

// Shown when a file carries the VDI signature but its header does not hold together.
inline constexpr const char* kNotVdiText = "Please select valid vdi file to continue the recovery process.";

enum class VdiImageType : std::uint32_t { Dynamic = 1, Fixed = 2, Undo = 3, Differencing = 4 };

struct VdiHeader {
    std::uint32_t signature = 0;
    std::uint32_t version = 0;     // major in the high 16 bits (0x00010001 is 1.1)
    std::uint32_t headerSize = 0;
    std::uint32_t imageType = 0;
    std::uint32_t blocksOffset = 0;  // file offset of the block map
    std::uint32_t dataOffset = 0;    // file offset of block 0's data
    std::uint32_t cylinders = 0;     // legacy geometry
    std::uint32_t heads = 0;
    std::uint32_t sectorsPerTrack = 0;
    std::uint64_t diskSize = 0;      // bytes
    std::uint32_t blockSize = 0;     // bytes of disk data per block
    std::uint32_t blockExtra = 0;    // bytes stored before each block's data
    std::uint32_t blocks = 0;        // entries of the block map
    std::uint32_t allocatedBlocks = 0;
};

// nullopt when the span is shorter than kVdiHeaderBytes.
std::optional<VdiHeader> decodeVdiHeader(ByteSpan bytes);

// Why a decoded header cannot be read from a file of fileLength bytes (an
// unsupported version, or the damaged field's offset), or nullopt when it can.
// Every size and offset is checked here, before anything is allocated from them.
std::optional<FormatProblem> vdiHeaderProblem(const VdiHeader& header, std::int64_t fileLength);

// "dynamic", "fixed", "undo", "differencing" or "unknown".
const char* vdiImageTypeName(std::uint32_t imageType);

// True when the VDI signature sits at offset 0x40.
bool looksLikeVdi(const ImageProbe& probe);

}  // namespace tavrel
