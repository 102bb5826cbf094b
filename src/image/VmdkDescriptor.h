// Pure parser of a VMDK descriptor: the text, embedded in a sparse extent or a
// file of its own, that names the disk's extents and records its geometry.
// Line by line, never past the end of the text (a NUL ends it too).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

enum class VmdkExtentType { Sparse, Flat, Zero, Unsupported };

struct VmdkExtentLine {
    std::string access;        // "RW", "RDONLY" or "NOACCESS"
    std::uint64_t sectors = 0; // size of the extent
    std::string typeName;      // as written: "SPARSE", "FLAT", "VMFS", "ZERO", ...
    VmdkExtentType type = VmdkExtentType::Unsupported;
    std::string fileName;      // empty for ZERO extents
    std::uint64_t offset = 0;  // FLAT: the first sector of the extent's data in its file
};

struct VmdkDescriptor {
    std::string version;
    std::string cid;
    std::string parentCid;
    std::string createType;    // "monolithicSparse", "twoGbMaxExtentFlat", ...
    std::string parentFileNameHint;  // differencing images: the parent's file
    std::vector<VmdkExtentLine> extents;
    std::map<std::string, std::string> ddb;  // "ddb.geometry.heads" -> "16", quotes removed

    // A ddb value as a number; nullopt when absent or not a decimal number.
    std::optional<std::uint32_t> ddbNumber(const std::string& key) const;
};

// nullopt when an extent line does not parse (a descriptor that names extents
// this reader cannot place) or when more than maxExtents extents are listed.
std::optional<VmdkDescriptor> parseVmdkDescriptor(std::string_view text, std::size_t maxExtents = 65536);

}  // namespace tavrel
