#include "fs/factory/ParserFactory.h"

#include "fs/fat/Fat16Class.h"
#include "fs/fat/Fat32Class.h"
#include "fs/fat/Fat64Class.h"
#include "fs/ntfs/ntfs.h"
#include "util/Unicode.h"

namespace tavrel::fs {

// Each parser folder registers its kinds here as it lands.
std::unique_ptr<Parser> makeParser(const std::string& fsName, const VolumeView& volume, const ScanOptions& options) {
    if (equalsIgnoreCase(fsName, "NTFS")) return std::make_unique<ntfs>(volume, options);
    // FAT family: FAT12 volumes are read by the FAT16 parser (12-bit FAT entries);
    // the volume list calls exFAT "FAT64".
    if (equalsIgnoreCase(fsName, "FAT12") || equalsIgnoreCase(fsName, "FAT16") || equalsIgnoreCase(fsName, "FAT"))
        return std::make_unique<fat::Fat16Class>(volume, options);
    if (equalsIgnoreCase(fsName, "FAT32")) return std::make_unique<fat::Fat32Class>(volume, options);
    if (equalsIgnoreCase(fsName, "FAT64") || equalsIgnoreCase(fsName, "exFat"))
        return std::make_unique<fat::Fat64Class>(volume, options);
    (void)fsName;
    (void)volume;
    (void)options;
    return nullptr;
}

}  // namespace tavrel::fs
