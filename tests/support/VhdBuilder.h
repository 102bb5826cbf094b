// Builds VHD images for tests: fixed, dynamic or differencing, with chosen footer
// fields, block size and sectors (everything else unallocated or zero), and lets
// damage tests forge single fields afterwards.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tavrel::test {

enum class VhdKind { Fixed, Dynamic, Differencing };

struct VhdSpec {
    VhdKind kind = VhdKind::Dynamic;
    std::uint64_t diskBytes = 8 * 1048576;  // the footer's current size
    std::uint64_t originalSize = 0;         // 0: diskBytes
    std::uint32_t version = 0x00010000;
    std::uint16_t cylinders = 127;
    std::uint8_t heads = 16;
    std::uint8_t sectorsPerTrack = 63;
    std::uint32_t blockSize = 2 * 1048576;  // dynamic and differencing
    std::string parentName;                 // differencing: the parent's file name
    bool shortFooter = false;               // trailing footer one byte short (511 bytes)
    std::map<std::uint64_t, std::vector<std::uint8_t>> sectors;  // sector number -> up to 512 bytes
};

// Offsets of the fields damage tests forge.
namespace vhdfield {
inline constexpr std::size_t kFooterDataOffset = 0x10;
inline constexpr std::size_t kFooterOriginalSize = 0x28;
inline constexpr std::size_t kFooterCurrentSize = 0x30;
inline constexpr std::size_t kFooterDiskType = 0x3C;
inline constexpr std::size_t kHeaderTableOffset = 0x10;
inline constexpr std::size_t kHeaderMaxTableEntries = 0x1C;
inline constexpr std::size_t kHeaderBlockSize = 0x20;
}  // namespace vhdfield

// A built image: its bytes and where its structures lie. Dynamic and
// differencing images are laid out as footer copy, header at 512, table at 1536,
// then the stored blocks in block order, then the trailing footer.
struct VhdImage {
    std::vector<std::uint8_t> bytes;
    std::size_t headerAt = 0;  // 0 for fixed images
    std::size_t tableAt = 0;
    std::size_t footerAt = 0;  // the trailing footer

    // Writes a big-endian field of `width` bytes in every footer copy (with the
    // checksum made right again), in the dynamic header, or in a table entry.
    void forgeFooter(std::size_t field, std::uint64_t value, int width);
    void forgeHeader(std::size_t field, std::uint64_t value, int width);
    void forgeTableEntry(std::size_t block, std::uint32_t value);
    void write(const std::filesystem::path& path) const;
};

VhdImage buildVhd(const VhdSpec& spec);

inline void writeVhd(const std::filesystem::path& path, const VhdSpec& spec) { buildVhd(spec).write(path); }

inline void writeDynamicVhd(const std::filesystem::path& path, VhdSpec spec) {
    spec.kind = VhdKind::Dynamic;
    writeVhd(path, spec);
}

inline void writeFixedVhd(const std::filesystem::path& path, VhdSpec spec) {
    spec.kind = VhdKind::Fixed;
    writeVhd(path, spec);
}

// The virtual disk a VhdSpec describes, as a raw image's bytes.
std::vector<std::uint8_t> rawDiskOf(const VhdSpec& spec);

// The same disk as a raw image file of diskBytes that is sparse on the host:
// only the chosen sectors are written, so a disk of terabytes takes kilobytes.
void writeSparseRaw(const std::filesystem::path& path, const VhdSpec& spec);

}  // namespace tavrel::test
