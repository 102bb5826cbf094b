#include "image/VmdkFormat.h"

#include <algorithm>
#include <string_view>

namespace tavrel {

namespace {
// Bounds beyond anything a writer makes: 64 MiB grains, 64 Ki entries per table.
constexpr std::uint64_t kMaxGrainSectors = 131072;
constexpr std::uint32_t kMaxTableEntries = 65536;
constexpr std::uint64_t kMaxCapacity = static_cast<std::uint64_t>(INT64_MAX) / 512;
}  // namespace

std::optional<VmdkSparseHeader> decodeVmdkSparseHeader(ByteSpan b) {
    if (b.size() < kVmdkHeaderSize) return std::nullopt;
    VmdkSparseHeader h;
    h.magic = le32(b, 0x00);
    h.version = le32(b, 0x04);
    h.flags = le32(b, 0x08);
    h.capacity = le64(b, 0x0C);
    h.grainSize = le64(b, 0x14);
    h.descriptorOffset = le64(b, 0x1C);
    h.descriptorSize = le64(b, 0x24);
    h.tableEntries = le32(b, 0x2C);
    h.redundantDirectory = le64(b, 0x30);
    h.directory = le64(b, 0x38);
    h.overhead = le64(b, 0x40);
    h.compression = le16(b, 0x4D);
    return h;
}

std::uint64_t vmdkDirectorySector(const VmdkSparseHeader& h) {
    return h.directory != 0 ? h.directory : h.redundantDirectory;
}

std::uint64_t vmdkDirectoryEntries(const VmdkSparseHeader& h) {
    if (h.grainSize == 0 || h.grainSize > kMaxGrainSectors || h.tableEntries == 0 ||
        h.tableEntries > kMaxTableEntries || h.capacity > kMaxCapacity)
        return 0;
    const std::uint64_t perTable = h.grainSize * h.tableEntries;
    return (h.capacity + perTable - 1) / perTable;
}

std::optional<FormatProblem> vmdkHeaderProblem(const VmdkSparseHeader& h, std::int64_t fileLength) {
    const auto damaged = [](std::int64_t field, const char* what) {
        return FormatProblem{OpenResult::Damaged, field, what};
    };
    if (h.magic != kVmdkMagic) return damaged(0x00, "no magic");
    if (h.version < 1 || h.version > 3) return FormatProblem{OpenResult::Unsupported, 0x04, "unsupported version"};
    if (h.capacity == 0 || h.capacity > kMaxCapacity) return damaged(0x0C, "capacity out of range");
    if (h.grainSize == 0 || h.grainSize > kMaxGrainSectors) return damaged(0x14, "grain size out of range");
    if (h.tableEntries == 0 || h.tableEntries > kMaxTableEntries) return damaged(0x2C, "grain table size out of range");
    if (h.compressed() && (h.compression != 1 || !h.hasMarkers()))
        return FormatProblem{OpenResult::Unsupported, 0x4D, "unsupported compression"};
    const std::uint64_t sector = vmdkDirectorySector(h);
    if (sector == kVmdkDirectoryAtEnd) return std::nullopt;
    const auto length = static_cast<std::uint64_t>(std::max<std::int64_t>(fileLength, 0));
    const std::uint64_t bytes = vmdkDirectoryEntries(h) * 4;
    if (sector == 0 || sector > length / 512 || length - sector * 512 < bytes)
        return damaged(h.directory != 0 ? 0x38 : 0x30, "grain directory outside the file");
    return std::nullopt;
}

bool looksLikeVmdkDescriptor(ByteSpan bytes) {
    const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()),
                                static_cast<std::size_t>(end - bytes.begin()));
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return false;
    if (text.substr(first).starts_with("# Disk DescriptorFile")) return true;
    // Hand-written descriptors may lack the opening comment.
    return text.find("createType") != std::string_view::npos && text.find("version") != std::string_view::npos &&
           text.find("# Extent description") != std::string_view::npos;
}

bool looksLikeVmdk(const ImageProbe& probe) {
    const ByteSpan magic = probe.at(0, 4);
    if (!magic.empty() && le32(magic, 0) == kVmdkMagic) return true;
    return probe.length <= kVmdkMaxDescriptorBytes && looksLikeVmdkDescriptor(probe.head);
}

}  // namespace tavrel
