// An LVM2 volume group as its text metadata describes it, and the layout of
// each logical volume on the group's physical volumes (pure: the tree in, the
// group out; the group and the physical volumes' places in, byte runs out).
//
// Segments are read by type: "striped" (linear is one stripe) maps onto the
// physical volumes; "mirror" and "raid1" are read through their first leg (a
// hidden logical volume of the same group); "thin-pool", "thin" and snapshots
// are refused by name, as is any other type.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "volume/LvmText.h"
#include "volume/MappedVolume.h"

namespace tavrel::lvm {

inline constexpr std::size_t kMaxSegments = 4096;   // per logical volume
inline constexpr std::size_t kMaxStripes = 128;     // per segment
inline constexpr int kMaxLegDepth = 4;              // a leg of a leg of ...
inline constexpr std::size_t kMaxVolumes = 1024;    // logical volumes per group
inline constexpr std::size_t kMaxRuns = 65536;      // runs per logical volume

struct PhysicalVolume {
    std::string name;       // "pv0"
    std::string uuid;       // as the metadata writes it (with dashes)
    std::int64_t peStart = 0;  // first extent, sectors from the volume's start
    std::int64_t peCount = 0;
};

struct SegmentArea {
    std::string target;     // a physical volume's name, or a logical volume's (legs)
    std::int64_t extent = 0;
};

struct Segment {
    std::int64_t startExtent = 0;
    std::int64_t extentCount = 0;
    std::string type;
    std::int64_t stripeSize = 0;  // sectors
    std::vector<SegmentArea> areas;
    std::string origin, cowStore;  // snapshots
};

struct LogicalVolume {
    std::string name;
    bool visible = false;
    std::vector<Segment> segments;
};

struct VolumeGroup {
    std::string name;
    std::string id;
    std::int64_t seqno = 0;
    std::int64_t extentSize = 0;  // sectors
    std::vector<PhysicalVolume> pvs;
    std::vector<LogicalVolume> lvs;
};

// The first top-level section that describes a volume group. nullopt when the
// tree holds none, or its numbers do not hold (extent size 0, negative counts).
std::optional<VolumeGroup> volumeGroupOf(const TextNode& root);

// Parses the text and reads the group from it.
std::optional<VolumeGroup> parseVolumeGroup(std::string_view text);

struct LvLayout {
    std::vector<MappedRun> runs;      // empty when the volume cannot be read
    std::int64_t bytes = 0;           // the volume's size
    std::string refusal;              // why it cannot be read (a user text), when so
    std::vector<std::string> missing; // UUIDs of physical volumes it needs and lacks
};

// The layout of `lv` with each physical volume of `vg` at the disk byte offset
// of pvStart (same order as vg.pvs; nullopt when it is not on this disk).
LvLayout layoutOf(const VolumeGroup& vg, const LogicalVolume& lv,
                  const std::vector<std::optional<std::int64_t>>& pvStart);

}  // namespace tavrel::lvm
