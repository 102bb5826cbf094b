#include "fs/fat/Fat64Class.h"

#include "fs/fat/ExFatTimes.h"
#include "fs/fat/FatTimes.h"

namespace tavrel::fs::fat {

const ScanTexts& Fat64Class::texts() const {
    static const ScanTexts texts{
        .notThisKind = "Selected Drive is not in exFat Format",
        .walking = {"processing file and directory entries...",
                    "Finding Fat64 File And Directory entries recursively...."},
        .linking = nullptr,
        .rooting = "creating tree Structure...",
        .rooted = nullptr,
        .done = "done...",
        .linkProgress = false,
        .finalProgress = false,
    };
    return texts;
}

std::optional<ChainGeometry> Fat64Class::acceptBootSector(ByteSpan sector) {
    const auto boot = decodeExFatBootSector(sector);
    if (!boot) return std::nullopt;
    layout_ = exFatLayout(*boot, volume_.size());
    ChainGeometry g;
    g.heap = {layout_.clusterSize, layout_.heapOffset, layout_.clusterCount};
    g.fatOffset = layout_.fatOffset;
    g.fatBytes = layout_.fatBytes;
    g.width = FatWidth::ExFat32;
    return g;
}

std::optional<RootDirectory> Fat64Class::rootDirectory() {
    if (!layout_.validCluster(layout_.rootCluster)) return std::nullopt;
    return RootDirectory{-1, 0, layout_.rootCluster};
}

EntryTimes Fat64Class::times(EntryRef e) const {
    if (e >= entries().size()) return {};
    const ExFatSet& s = entries()[e].set;
    EntryTimes t;
    t.created = exFatTimePoint(s.createTimestamp, s.create10ms, s.createUtcOffset);
    t.modified = exFatTimePoint(s.modifiedTimestamp, s.modified10ms, s.modifiedUtcOffset);
    t.accessed = exFatTimePoint(s.accessedTimestamp, 0, s.accessedUtcOffset);
    return t;
}

EntryDescription Fat64Class::describeEntry(EntryRef e) const {
    if (e >= entries().size()) return {};
    const ExFatSet& s = entries()[e].set;
    EntryDescription d;
    d.created = timeText(exFatCivil(s.createTimestamp));
    d.accessed = timeText(exFatCivil(s.accessedTimestamp));
    d.modified = timeText(exFatCivil(s.modifiedTimestamp));
    d.attributes = attributeText(static_cast<std::uint8_t>(s.attributes & 0xFF));
    return d;
}

}  // namespace tavrel::fs::fat
