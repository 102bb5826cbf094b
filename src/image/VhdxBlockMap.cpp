#include "image/VhdxBlockMap.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <optional>

#include "image/HostFile.h"
#include "util/Bytes.h"

namespace tavrel {

namespace {

using Guid = std::array<std::uint8_t, 16>;

// A GUID as the file stores it: the first three groups little-endian, the last
// eight bytes in order.
constexpr Guid guid(std::uint32_t a, std::uint16_t b, std::uint16_t c, std::uint64_t d) {
    Guid g{};
    for (int i = 0; i < 4; ++i) g[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(a >> (8 * i));
    for (int i = 0; i < 2; ++i) g[static_cast<std::size_t>(4 + i)] = static_cast<std::uint8_t>(b >> (8 * i));
    for (int i = 0; i < 2; ++i) g[static_cast<std::size_t>(6 + i)] = static_cast<std::uint8_t>(c >> (8 * i));
    for (int i = 0; i < 8; ++i) g[static_cast<std::size_t>(8 + i)] = static_cast<std::uint8_t>(d >> (8 * (7 - i)));
    return g;
}

constexpr Guid kBatRegion = guid(0x2DC27766, 0xF623, 0x4200, 0x9D64115E9BFD4A08ull);
constexpr Guid kMetadataRegion = guid(0x8B7CA206, 0x4790, 0x4B9A, 0xB8FE575F050F886Eull);
constexpr Guid kFileParameters = guid(0xCAA16737, 0xFA36, 0x4D43, 0xB3B633F0AA44E76Bull);
constexpr Guid kVirtualDiskSize = guid(0x2FA54224, 0xCD1B, 0x4876, 0xB2115DBED83BF4B8ull);
constexpr Guid kLogicalSectorSize = guid(0x8141BF1D, 0xA96F, 0x4709, 0xBA47F233A8FAAB5Full);

constexpr std::int64_t kMiB = 1048576;
constexpr std::int64_t kHeaderAt[] = {64 * 1024, 128 * 1024};
constexpr std::int64_t kRegionTableAt[] = {192 * 1024, 256 * 1024};
constexpr std::size_t kTableBytes = 64 * 1024;  // a region table, a metadata table
constexpr std::uint32_t kMaxTableEntries = 2047;
constexpr std::int64_t kMaxDiskSize = 64ll << 40;
// Payload block states (the low three bits of a BAT entry).
constexpr std::uint64_t kNotPresent = 0, kZero = 2, kUnmapped = 3;

bool sameGuid(ByteSpan bytes, std::size_t at, const Guid& g) {
    const ByteSpan s = subSpan(bytes, at, 16);
    return s.size() == 16 && std::equal(s.begin(), s.end(), g.begin());
}

bool readWhole(const HostFile& file, std::int64_t at, MutableByteSpan out) {
    std::size_t got = 0;
    return file.readAt(at, out, &got) && got == out.size();
}

struct Region {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

// The region with the given GUID in a region table, inside a file of `length` bytes.
std::optional<Region> findRegion(ByteSpan table, const Guid& id, std::uint64_t length) {
    const std::uint32_t count = le32(table, 8);
    if (count > kMaxTableEntries) return std::nullopt;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t at = 16 + std::size_t{i} * 32;
        if (!sameGuid(table, at, id)) continue;
        Region r{le64(table, at + 16), le32(table, at + 24)};
        if (r.offset % kMiB != 0 || r.length == 0 || r.offset > length || length - r.offset < r.length)
            return std::nullopt;
        return r;
    }
    return std::nullopt;
}

// The bytes of one metadata item (at most `size` of them are wanted).
std::optional<std::uint64_t> metadataItem(const HostFile& file, const Region& meta, ByteSpan table, const Guid& id,
                                          std::size_t size) {
    const std::uint16_t count = le16(table, 10);
    if (count > kMaxTableEntries) return std::nullopt;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t at = 32 + std::size_t{i} * 32;
        if (!sameGuid(table, at, id)) continue;
        const std::uint64_t offset = le32(table, at + 16);
        const std::uint64_t length = le32(table, at + 20);
        if (length < size || offset < kTableBytes || offset > meta.length || meta.length - offset < size)
            return std::nullopt;
        std::array<std::uint8_t, 8> value{};
        if (!readWhole(file, static_cast<std::int64_t>(meta.offset + offset), MutableByteSpan(value.data(), size)))
            return std::nullopt;
        return le64(value, 0);
    }
    return std::nullopt;
}

}  // namespace

bool VhdxBlockMap::open(const std::string& path) {
    HostFile file;
    if (!file.openReadOnly(path)) return false;
    const auto length = static_cast<std::uint64_t>(file.length());
    std::vector<std::uint8_t> buf(kTableBytes);
    if (!readWhole(file, 0, MutableByteSpan(buf.data(), 8)) || std::memcmp(buf.data(), "vhdxfile", 8) != 0)
        return false;
    // A log that has not been replayed may hold newer BAT entries than the table:
    // no map then.
    int headers = 0;
    for (const std::int64_t at : kHeaderAt) {
        if (!readWhole(file, at, MutableByteSpan(buf.data(), 80)) || std::memcmp(buf.data(), "head", 4) != 0) continue;
        ++headers;
        if (std::any_of(buf.begin() + 48, buf.begin() + 64, [](std::uint8_t b) { return b != 0; })) return false;
    }
    if (headers == 0) return false;

    std::optional<Region> bat, meta;
    for (const std::int64_t at : kRegionTableAt) {
        if (!readWhole(file, at, buf) || std::memcmp(buf.data(), "regi", 4) != 0) continue;
        bat = findRegion(buf, kBatRegion, length);
        meta = findRegion(buf, kMetadataRegion, length);
        if (bat && meta) break;
    }
    if (!bat || !meta || meta->length < kTableBytes) return false;
    if (!readWhole(file, static_cast<std::int64_t>(meta->offset), buf) || std::memcmp(buf.data(), "metadata", 8) != 0)
        return false;
    const auto params = metadataItem(file, *meta, buf, kFileParameters, 8);
    const auto size = metadataItem(file, *meta, buf, kVirtualDiskSize, 8);
    const auto sector = metadataItem(file, *meta, buf, kLogicalSectorSize, 4);
    if (!params || !size || !sector) return false;
    const std::uint64_t blockSize = *params & 0xFFFFFFFFu;
    const std::uint64_t logicalSector = *sector;
    if (!std::has_single_bit(blockSize) || blockSize < kMiB || blockSize > 256 * kMiB) return false;
    if (logicalSector != 512 && logicalSector != 4096) return false;
    if (*size == 0 || *size > static_cast<std::uint64_t>(kMaxDiskSize)) return false;

    // Each chunk of payload blocks (as many as one sector bitmap block covers) is
    // followed in the table by its sector bitmap block's entry.
    const std::uint64_t chunkRatio = (std::uint64_t{1} << 23) * logicalSector / blockSize;
    const std::uint64_t blocks = (*size + blockSize - 1) / blockSize;
    const std::uint64_t entries = blocks + (blocks - 1) / chunkRatio;
    if (entries > bat->length / 8) return false;

    hasParent_ = (*params >> 33) & 1u;
    std::vector<std::uint64_t> bits((blocks + 63) / 64, 0);
    std::uint64_t block = 0;
    constexpr std::uint64_t kPieceEntries = kMiB / 8;
    std::vector<std::uint8_t> piece;
    for (std::uint64_t done = 0; done < entries;) {
        const std::uint64_t n = std::min(kPieceEntries, entries - done);
        piece.resize(static_cast<std::size_t>(n * 8));
        if (!readWhole(file, static_cast<std::int64_t>(bat->offset + done * 8), piece)) return false;
        for (std::uint64_t i = 0; i < n; ++i) {
            const std::uint64_t index = done + i;
            if ((index + 1) % (chunkRatio + 1) == 0) continue;  // a sector bitmap block's entry
            const std::uint64_t state = le64(piece, static_cast<std::size_t>(i * 8)) & 7u;
            // Blocks not present or unmapped read as zeros, unless a parent holds them;
            // every other state (reserved ones too) may hold data.
            const bool empty = state == kZero || (!hasParent_ && (state == kNotPresent || state == kUnmapped));
            if (!empty && block < blocks) bits[block / 64] |= std::uint64_t{1} << (block % 64);
            ++block;
        }
        done += n;
    }
    bits_ = std::move(bits);
    blocks_ = blocks;
    blockSize_ = static_cast<std::int64_t>(blockSize);
    diskSize_ = static_cast<std::int64_t>(*size);
    return true;
}

std::int64_t VhdxBlockMap::nextStored(std::int64_t diskOffset) const {
    if (diskOffset < 0 || diskOffset >= diskSize_) return diskOffset;
    auto block = static_cast<std::uint64_t>(diskOffset / blockSize_);
    while (block < blocks_) {
        const std::uint64_t word = bits_[block / 64] >> (block % 64);
        if (word != 0) {
            block += static_cast<std::uint64_t>(std::countr_zero(word));
            if (block >= blocks_) break;
            return std::max(diskOffset, static_cast<std::int64_t>(block) * blockSize_);
        }
        block = (block / 64 + 1) * 64;
    }
    return diskSize_;
}

}  // namespace tavrel
