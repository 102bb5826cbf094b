// "Filter Entries" of the volume list: drops the records an advanced scan finds
// besides the volumes themselves, that is a second record at the same start
// sector and every record that starts inside a volume listed before it (backup
// boot sectors, copies of boot records inside a volume, the NTFS backup boot
// sector just past its volume's counted sectors).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "volume/VolumeRecord.h"

namespace tavrel::app {

// The whole MiB figure at the start of a size text ("100   MB" gives 100); 0 when
// the text does not start with a number.
std::int64_t leadingMiB(const std::string& sizeText);

// Sectors a record spans: its sector count when known, else its size text's MiB.
std::int64_t recordSectors(const VolumeRecord& record);

std::vector<VolumeRecord> filterVolumes(const std::vector<VolumeRecord>& records);

}  // namespace tavrel::app
