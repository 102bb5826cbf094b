// What a reader can say about its image: the format, its version, the disk's size
// and geometry, and format-specific extras. The front ends print and show it
// without knowing which reader produced it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavrel {

// A value as shown to the user, with the number behind it when there is one
// (sizes are numbers of bytes).
struct InfoValue {
    std::string text;
    std::optional<std::int64_t> number;

    static InfoValue of(std::int64_t n) { return {std::to_string(n), n}; }
    static InfoValue of(std::string t) { return {std::move(t), std::nullopt}; }
};

// One extra line of a description: a key for machine output, a label for people.
struct InfoField {
    std::string key;    // "block_size"
    std::string label;  // "Block size"
    InfoValue value;
};

struct DiskGeometry {
    std::uint32_t cylinders = 0;
    std::uint32_t heads = 0;
    std::uint32_t sectorsPerTrack = 0;
};

struct ImageInfo {
    std::string format;             // "vhd-dynamic", "vhd-fixed", "vhd-differencing", "raw"
    std::optional<InfoValue> version;  // absent when the format has none
    std::int64_t diskSize = 0;      // bytes of the virtual disk the reader serves
    std::uint64_t sectors = 0;      // whole 512-byte sectors of that disk
    // The size the image's own metadata states (a VHD footer's original size);
    // the disk size for formats that state none. "Size of HDD" shows it.
    std::uint64_t statedSize = 0;
    std::optional<DiskGeometry> geometry;
    std::vector<InfoField> fields;

    // The stated size in whole MiB, rounded down, and as the pages show it.
    std::int64_t sizeMb() const { return static_cast<std::int64_t>(statedSize / 1048576); }
    std::string sizeText() const { return std::to_string(sizeMb()) + " MB"; }
};

}  // namespace tavrel
