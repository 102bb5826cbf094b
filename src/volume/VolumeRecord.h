// One found volume, as the volume list shows it and as it travels to the parsers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/VolumeView.h"
#include "volume/MappedVolume.h"

namespace tavrel {

struct VolumeRecord {
    std::string fsName;        // a kind's list name, "Unknown", or a GPT entry's name
    std::string volumeName;    // ordinal text shown in the VOLUME column
    std::string sizeMiBText;   // "NNN MB"
    std::int64_t startSector = 0;
    std::int64_t sectorCount = -1;  // -1 when unknown (the volume runs to the end of the disk)
    // A volume that is not one run of the disk (an LVM2 logical volume): its
    // name ("vg/lv"), its runs (startSector is then its first run's first
    // sector), and a note the list shows with it. A note on a volume without
    // runs tells why it cannot be read.
    std::string name;
    std::vector<MappedRun> runs;
    std::string note;
};

// The view a parser reads a listed volume through: the sectors from
// startSector, or the runs of a mapped volume (the view then owns its reader).
VolumeView volumeViewOf(const readWriteInterface& disk, const VolumeRecord& record);

// True when the record is listed only to tell why it cannot be read.
inline bool isRefusedVolume(const VolumeRecord& record) { return record.runs.empty() && !record.note.empty(); }

}  // namespace tavrel
