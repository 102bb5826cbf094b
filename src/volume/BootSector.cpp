#include "volume/BootSector.h"

#include <cstring>

namespace tavrel {

namespace {

bool textAt(ByteSpan sector, std::size_t offset, const char* text) {
    const std::size_t n = std::strlen(text);
    return fits(sector.size(), offset, n) && std::memcmp(sector.data() + offset, text, n) == 0;
}

bool hasFatJump(ByteSpan sector) {
    if (sector.size() < 2 || sector[0] != 0xEB) return false;
    return sector[1] == 0x3C || sector[1] == 0x58 || sector[1] == 0x76;
}

bool isPowerOfTwo(std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

}  // namespace

const char* fsNameOf(BootKind kind) {
    switch (kind) {
        case BootKind::Ntfs: return "NTFS";
        case BootKind::Fat16: return "FAT16";
        case BootKind::Fat32: return "FAT32";
        case BootKind::ExFat: return "FAT64";
        case BootKind::HfsPlus: return "HFS+";
        case BootKind::None:
        case BootKind::FatUnknown: break;
    }
    return "";
}

bool isExfatBootSector(ByteSpan sector) { return hasFatJump(sector) && textAt(sector, 3, "EXFA"); }

bool isHfsPlusHeader(ByteSpan sector) {
    // "H+" for HFS+, "HX" for HFSX (its case-sensitive variant, read the same way).
    return sector.size() >= 3 && sector[0] == 0x48 && (sector[1] == 0x2B || sector[1] == 0x58) && sector[2] == 0x00;
}

bool isNtfsBootSector(ByteSpan sector, bool requireOemName) {
    if (sector.size() < 2 || sector[0] != 0xEB || sector[1] != 0x52) return false;
    if (requireOemName && !textAt(sector, 3, "NTFS")) return false;
    return le16(sector, 0x0B) == 512;
}

bool hasSoundFatBpb(ByteSpan sector) {
    if (sector.size() < 512) return false;
    const std::uint16_t bytesPerSector = le16(sector, 0x0B);
    const std::uint8_t sectorsPerCluster = sector[0x0D];
    const std::uint16_t reserved = le16(sector, 0x0E);
    const std::uint8_t fatCount = sector[0x10];
    const std::uint16_t rootEntries = le16(sector, 0x11);
    const std::uint8_t media = sector[0x15];
    const std::uint16_t fatSectors16 = le16(sector, 0x16);
    if (bytesPerSector < 512 || bytesPerSector > 4096 || !isPowerOfTwo(bytesPerSector)) return false;
    if (!isPowerOfTwo(sectorsPerCluster) || reserved == 0 || fatCount < 1 || fatCount > 2) return false;
    if (media != 0xF0 && media < 0xF8) return false;
    if (le16(sector, 0x13) == 0 && le32(sector, 0x20) == 0) return false;
    if (sector[510] != 0x55 || sector[511] != 0xAA) return false;
    if (fatSectors16 == 0) return le32(sector, 0x24) != 0 && rootEntries == 0;  // FAT32
    return rootEntries != 0;                                                     // FAT12/16
}

BootSectorMatch testBootSector(ByteSpan sector, BootTest test) {
    BootSectorMatch m;
    if (sector.size() < 512) return m;
    const bool scan = test == BootTest::SectorScan;

    if (sector[0] != 0xEB) {
        // HFS+ volume header, 1024 bytes into its volume; size = block size x blocks.
        if (scan && isHfsPlusHeader(sector)) {
            const std::uint64_t bytes = std::uint64_t{be32(sector, 0x28)} * be32(sector, 0x2C);
            m.kind = BootKind::HfsPlus;
            m.sectors = static_cast<std::int64_t>(bytes / 512);
            m.sectorsBefore = 2;
        }
        return m;
    }
    if (isNtfsBootSector(sector, scan)) {
        m.kind = BootKind::Ntfs;
        m.sectors = static_cast<std::int64_t>(le64(sector, 0x28));
        return m;
    }
    if (!hasFatJump(sector)) return m;
    if (isExfatBootSector(sector)) {
        m.kind = BootKind::ExFat;
        m.sectors = static_cast<std::int64_t>(le64(sector, 0x48));
        return m;
    }
    const bool sound = hasSoundFatBpb(sector);
    if (!textAt(sector, 3, "MSDO") && !sound) return m;
    // The total-sector fields are read unsigned: a FAT16 volume of 32768..65535
    // sectors keeps its size in the 16-bit field, a FAT32 volume of 1 TiB or more
    // has the top bit of the 32-bit field set.
    const std::uint16_t fatSectors = le16(sector, 0x16);
    if (fatSectors == 0) {
        m.kind = BootKind::Fat32;
        m.sectors = le32(sector, 0x20);
    } else if (fatSectors == 200 || fatSectors == 256 || (scan && fatSectors == 128) || sound) {
        m.kind = BootKind::Fat16;
        m.sectors = le16(sector, 0x13);
        if (m.sectors == 0) m.sectors = le32(sector, 0x20);
    } else {
        m.kind = BootKind::FatUnknown;
    }
    return m;
}

}  // namespace tavrel
