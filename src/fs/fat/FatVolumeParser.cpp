#include "fs/fat/FatVolumeParser.h"

#include "fs/fat/FatTimes.h"

namespace tavrel::fs::fat {

std::optional<ChainGeometry> FatVolumeParser::acceptBootSector(ByteSpan sector) {
    const auto boot = decodeFatBootSector(sector);
    if (!boot || !isThisKind(*boot)) return std::nullopt;
    boot_ = *boot;
    layout_ = fatLayout(boot_, volume_.size());
    ChainGeometry g;
    g.heap = {layout_.clusterSize, layout_.dataOffset, layout_.clusterCount};
    g.fatOffset = layout_.fatOffset;
    g.fatBytes = layout_.fatBytes;
    g.width = layout_.kind == FatKind::Fat12   ? FatWidth::Bits12
              : layout_.kind == FatKind::Fat16 ? FatWidth::Bits16
                                               : FatWidth::Bits28;
    return g;
}

std::uint32_t FatVolumeParser::firstCluster(const FatEntry& e) const {
    // FAT12/16 keep bytes 20-21 for other uses; only FAT32 has a high word.
    const DirSlot& s = e.item.slot;
    if (layout_.kind == FatKind::Fat32) return (static_cast<std::uint32_t>(s.firstClusterHigh) << 16) | s.firstClusterLow;
    return s.firstClusterLow;
}

EntryTimes FatVolumeParser::times(EntryRef e) const {
    if (e >= entries().size()) return {};
    return fatEntryTimes(entries()[e].item.slot);
}

EntryDescription FatVolumeParser::describeEntry(EntryRef e) const {
    if (e >= entries().size()) return {};
    return fatDescription(entries()[e].item.slot);
}

}  // namespace tavrel::fs::fat
