// One found volume, as the volume list shows it and as it travels to the parsers.
#pragma once

#include <cstdint>
#include <string>

namespace tavrel {

struct VolumeRecord {
    std::string fsName;        // a kind's list name, "Unknown", or a GPT entry's name
    std::string volumeName;    // ordinal text shown in the VOLUME column
    std::string sizeMiBText;   // "NNN MB"
    std::int64_t startSector = 0;
    std::int64_t sectorCount = -1;  // -1 when unknown (the volume runs to the end of the disk)
};

}  // namespace tavrel
