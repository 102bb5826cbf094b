#include "fs/hfsplus/HfsProbe.h"

#include "fs/hfsplus/HfsFormat.h"

namespace tavrel::fs::hfsplus {

bool isHfsPlusHeader(ByteSpan sector) {
    return sector.size() >= 3 && sector[0] == 0x48 && (sector[1] == 0x2B || sector[1] == 0x58) && sector[2] == 0x00;
}

BootMatch hfsPlusBootRecord(ByteSpan sector, BootTest test) {
    BootMatch m;
    if (test != BootTest::SectorScan || sector.size() < 512 || !isHfsPlusHeader(sector)) return m;
    const std::uint64_t bytes = std::uint64_t{be32(sector, kBlockSizeField)} * be32(sector, kBlockSizeField + 4);
    m.result = BootMatch::Result::Named;
    m.sectors = static_cast<std::int64_t>(bytes / 512);
    m.sectorsBefore = kVolumeHeaderOffset / 512;
    return m;
}

}  // namespace tavrel::fs::hfsplus
