#include "app/VolumeFilter.h"

#include "app/SectorText.h"
#include "fs/factory/FsKinds.h"

namespace tavrel::app {

std::int64_t leadingMiB(const std::string& sizeText) { return parseSectorText(sizeText); }

std::int64_t recordSectors(const VolumeRecord& record) {
    if (record.sectorCount > 0) return record.sectorCount;
    const std::int64_t mib = leadingMiB(record.sizeMiBText);
    return mib > 0 && mib < INT64_MAX / 2048 ? mib * 2048 : 0;
}

std::vector<VolumeRecord> filterVolumes(const std::vector<VolumeRecord>& records) {
    std::vector<VolumeRecord> kept;
    for (const VolumeRecord& record : records) {
        bool inside = false;
        // A logical volume lies inside its physical volume's partition by
        // nature, and its first sector tells nothing of where the rest lies:
        // it is kept, and nothing counts as inside it.
        for (const VolumeRecord& volume : kept) {
            if (!record.name.empty()) break;
            if (!volume.name.empty()) continue;
            // NTFS counts its sectors without the backup boot sector, which sits in
            // the one sector after them.
            const fs::FsKindRow* kind = fs::findKind(volume.fsName);
            const std::int64_t length = recordSectors(volume) + (kind ? kind->trailingSectors : 0);
            if (record.startSector == volume.startSector ||
                (record.startSector > volume.startSector && record.startSector - volume.startSector < length)) {
                inside = true;
                break;
            }
        }
        if (!inside) kept.push_back(record);
    }
    return kept;
}

}  // namespace tavrel::app
