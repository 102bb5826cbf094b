// Advanced mode of the FAT12/16 and FAT32 parsers: the hunt for FAT copies and
// the layout derived from the chosen one.
#include <algorithm>
#include <string>

#include "fs/fat/AdvancedLayout.h"
#include "fs/fat/FatVolumeParser.h"

namespace tavrel::fs::fat {

std::size_t FatVolumeParser::huntCopies(WorkControl& work, int maximum) {
    const bool boot = readBootSector().geometry.has_value();
    bootSectorsPerCluster_ = boot ? static_cast<int>(boot_.sectorsPerCluster) : 0;
    if (const char* text = huntStatus()) work.status(text);
    FatHuntLimits limits;
    limits.maximum = maximum;
    limits.stored = [this](std::int64_t offset, std::int64_t length) {
        return !volume_.reader().isUnallocated(volume_.baseOffset() + offset, length);
    };
    const FatHuntResult found =
        huntFatCopies(volume_, fat32() ? FatHuntKind::Fat32 : FatHuntKind::Fat16, limits, work, warnings_);
    const auto area = dataAreaFromDots(found.dots);
    fats_.clear();
    for (const std::int64_t offset : found.fats)
        fats_.push_back({offset, area ? area->clusterSize : 0, 0, area ? area->offset : -1});
    return fats_.size();
}

bool FatVolumeParser::useCandidate(std::size_t index, const CandidateChoice& choice) {
    if (index >= fats_.size()) return false;
    const HuntCandidate& chosen = fats_[index];
    std::int64_t clusterSize = std::int64_t{choice.sectorsPerCluster} * 512;
    if (clusterSize <= 0) clusterSize = chosen.clusterSize;
    if (clusterSize <= 0 && bootSectorsPerCluster_ > 0) clusterSize = std::int64_t{bootSectorsPerCluster_} * 512;
    if (clusterSize <= 0) clusterSize = std::stoll(fixedClusterItems().front()) * 512;

    FatLayoutChoice c;
    c.fat32 = fat32();
    for (const HuntCandidate& f : fats_) c.fats.push_back(f.offset);
    c.index = index;
    c.clusterSize = clusterSize;
    c.volumeSize = volume_.size();
    // Where the "." entries put cluster 2 holds for the cluster size they showed.
    if (chosen.clusterSize == clusterSize) c.dataOffset = chosen.anchor;
    const auto l = advancedFatLayout(c);
    if (!l) return false;
    layout_ = FatLayout{};
    layout_.kind = fat32()                                 ? FatKind::Fat32
                   : l->chain.width == FatWidth::Bits12 ? FatKind::Fat12
                                                         : FatKind::Fat16;
    layout_.clusterSize = clusterSize;
    layout_.fatOffset = l->chain.fatOffset;
    layout_.fatBytes = l->chain.fatBytes;
    layout_.rootOffset = l->root.regionOffset;
    layout_.rootBytes = l->root.regionBytes;
    layout_.dataOffset = l->chain.heap.heapOffset;
    layout_.clusterCount = l->chain.heap.clusterCount;
    layout_.rootCluster = l->root.firstCluster;
    setAdvancedLayout(l->chain, l->root);
    return true;
}

// What the hunt learnt comes first: the cluster size the "." entries showed,
// then the boot sector's (when it is even), then the kind's fixed list.
std::vector<std::string> FatVolumeParser::clusterItems() const {
    std::vector<std::string> items;
    const auto add = [&items](const std::string& item) {
        if (std::find(items.begin(), items.end(), item) == items.end()) items.push_back(item);
    };
    if (!fats_.empty() && fats_.front().clusterSize > 0) add(std::to_string(fats_.front().clusterSize / 512));
    if (bootSectorsPerCluster_ > 0 && bootSectorsPerCluster_ % 2 == 0) add(std::to_string(bootSectorsPerCluster_));
    for (const std::string& item : fixedClusterItems()) add(item);
    return items;
}

}  // namespace tavrel::fs::fat
