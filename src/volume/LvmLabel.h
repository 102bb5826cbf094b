// The on-disk headers of an LVM2 physical volume: pure decoders over bytes.
//
//  - The label: a 512-byte sector beginning "LABELONE" in one of the volume's
//    first four sectors. It names its own sector, carries a CRC of the rest of
//    the sector, and the type "LVM2 001". Its physical-volume header follows
//    at the offset the label gives: the volume's 32-character UUID, its size,
//    then two lists of {offset, size} areas (data areas, then metadata areas),
//    each ended by an all-zero pair.
//  - The metadata-area header: the first 512 bytes of a metadata area, with a
//    CRC, a fixed magic, version 1, the area's own start and size, and slots
//    {offset, size, checksum, flags} locating the latest text metadata in the
//    area's circular buffer (offsets from the area's start).
//
// Every field is little-endian. The checksums use LVM2's CRC: the reflected
// CRC-32 polynomial 0xEDB88320 from the seed 0xF597A6CF, without inversion.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "util/Bytes.h"

namespace tavrel::lvm {

inline constexpr std::uint32_t kCrcSeed = 0xF597A6CF;
inline constexpr std::size_t kLabelSectors = 4;        // the label lies in one of these
inline constexpr std::size_t kMdaHeaderSize = 512;     // a metadata area's header
inline constexpr std::size_t kMaxAreas = 16;           // areas taken from one list
inline constexpr std::size_t kMaxLocations = 8;        // text slots taken from one header

// LVM2's CRC, continued from `crc` over `bytes`.
std::uint32_t crc(std::uint32_t crc, ByteSpan bytes);

struct DiskArea {
    std::uint64_t offset = 0;  // bytes from the physical volume's start
    std::uint64_t size = 0;    // 0: to the end of the volume (data areas)
};

struct PvLabel {
    std::uint64_t labelSector = 0;  // the sector (0..3) holding the label
    std::string uuid;               // 32 characters, as the metadata writes it without dashes
    std::uint64_t deviceSize = 0;   // bytes
    std::vector<DiskArea> dataAreas;
    std::vector<DiskArea> metadataAreas;
};

enum class LabelResult { Found, NotLvm, Damaged };

struct LabelDecode {
    LabelResult result = LabelResult::NotLvm;
    PvLabel label;
    std::size_t offset = 0;  // byte offset of the damage in `sectors`
};

// Looks for the label in the first four sectors of `sectors` (fewer when the
// span is shorter). NotLvm when no sector begins "LABELONE"; Damaged when one
// does but its CRC, its own sector number, its type or its header do not hold.
LabelDecode decodePvLabel(ByteSpan sectors);

struct RawLocation {
    std::uint64_t offset = 0;  // from the metadata area's start
    std::uint64_t size = 0;    // bytes of text
    std::uint32_t checksum = 0;
    std::uint32_t flags = 0;   // 1: ignored
};

struct MdaHeader {
    std::uint64_t start = 0;  // the area's offset from the volume's start
    std::uint64_t size = 0;   // the area's size, header included
    std::vector<RawLocation> locations;
};

// Decodes a metadata-area header (512 bytes). nullopt when its CRC, magic,
// version or sizes do not hold.
std::optional<MdaHeader> decodeMdaHeader(ByteSpan header);

// "abcdef-ghij-..." as the metadata writes a UUID: 6-4-4-4-4-4-6 characters.
std::string dashedUuid(const std::string& uuid);
// The UUID without its dashes.
std::string plainUuid(const std::string& uuid);

}  // namespace tavrel::lvm
