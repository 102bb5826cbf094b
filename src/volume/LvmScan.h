// LVM2 on a disk: finds physical volumes by their label, reads their volume
// groups' metadata and lists each visible logical volume as a volume of its
// own, mapped through its segments (see MappedVolume.h).
//
// Physical volumes are looked for in every listed partition (a partition of
// type 0x8E or with the Linux LVM GUID E6D6D379-F507-44C2-A23C-238F2A3DF928
// is one of them; the label, not the type, decides) and on the whole disk.
// Of a group's metadata the copy with the highest sequence number whose
// checksum holds is read, from any metadata area of its physical volumes on
// this disk; when no latest copy holds, the circular buffers are searched for
// older copies, and the newest that parses is read.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "image/VolumeView.h"
#include "image/readWriteInterface.h"
#include "volume/FsProbe.h"
#include "volume/LvmLabel.h"
#include "volume/LvmMetadata.h"
#include "volume/VolumeRecord.h"

namespace tavrel::lvm {

inline constexpr std::int64_t kMaxAreaBytes = 16 << 20;  // read of one metadata area
inline constexpr std::size_t kMaxOlderCopies = 256;      // parsed from one area's buffer

struct MetadataCopy {
    VolumeGroup vg;
    bool latest = false;  // the copy the area's header names, its checksum right
};

struct AreaRead {
    std::vector<MetadataCopy> copies;
    bool empty = false;  // a sound header naming no copy (a volume in no group)
};

// The copies of one metadata area of the physical volume `pv`: its latest
// copy when the checksum holds, otherwise the older copies its buffer holds.
AreaRead readMetadataArea(const VolumeView& pv, const DiskArea& area);

// Appends the logical volumes of the disk's physical volumes to `records`
// (numbered on from them) and notes to the records of physical volumes whose
// metadata cannot be read.
void addLogicalVolumes(const readWriteInterface& disk, std::span<const FsProbe> probes,
                       std::vector<VolumeRecord>& records);

// The file system a volume holds, by the probes' tests of its first sectors (its
// boot record, else its backup boot record, else the header at byte 1024), named
// as the partition scan names it; "Unknown" when no probe knows it.
std::string contentName(std::span<const FsProbe> probes, const VolumeView& volume);

}  // namespace tavrel::lvm
