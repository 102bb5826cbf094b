// Advanced mode of the exFAT parser: the hunts for FAT copies and heap offsets,
// and the layout derived from the chosen pair.
#include <algorithm>
#include <bit>
#include <cstdio>
#include <string>

#include "fs/fat/AdvancedLayout.h"
#include "fs/fat/Fat64Class.h"
#include "fs/fat/FatHunt.h"

namespace tavrel::fs::fat {

std::size_t Fat64Class::huntCopies(WorkControl& work, int maximum) {
    const bool boot = readBootSector().geometry.has_value();
    bootShift_ = -1;
    if (boot) bootShift_ = std::countr_zero(static_cast<std::uint64_t>(layout_.clusterSize / 512));
    work.status("Finding Fat64 entries....");
    FatHuntLimits limits;
    limits.maximum = maximum;
    limits.stored = [this](std::int64_t offset, std::int64_t length) {
        return !volume_.reader().isUnallocated(volume_.baseOffset() + offset, length);
    };
    const FatHuntResult found = huntFatCopies(volume_, FatHuntKind::ExFat, limits, work, warnings_);
    fats_.clear();
    for (const std::int64_t offset : found.fats) fats_.push_back({offset, 0, 0, -1});
    heaps_.clear();
    // The boot sector's heap is offered first; it names its own root directory.
    if (boot) heaps_.push_back({layout_.heapOffset, layout_.clusterSize, 0, layout_.clusterOffset(layout_.rootCluster)});
    if (!work.stopRequested()) {
        const auto heaps = huntHeapOffsets(volume_, limits, boot ? std::optional(layout_.heapOffset) : std::nullopt,
                                           work, warnings_);
        for (const HeapCandidate& h : heaps)
            if (!boot || h.heapOffset != layout_.heapOffset) heaps_.push_back({h.heapOffset, h.clusterSize, 0, h.rootEntry});
    }
    return fats_.size();
}

bool Fat64Class::useCandidate(std::size_t index, const CandidateChoice& choice) {
    if (index >= fats_.size() || heaps_.empty()) return false;
    // The heap list is chosen on its own; by default the entry at the FAT's position.
    const std::size_t h = choice.heapIndex >= 0 ? static_cast<std::size_t>(choice.heapIndex)
                                                : std::min(index, heaps_.size() - 1);
    if (h >= heaps_.size()) return false;
    const HuntCandidate& heap = heaps_[h];
    std::int64_t clusterSize = std::int64_t{choice.sectorsPerCluster} * 512;
    if (clusterSize <= 0) clusterSize = heap.clusterSize;
    if (clusterSize <= 0 && bootShift_ >= 0) clusterSize = std::int64_t{512} << bootShift_;
    if (clusterSize <= 0) clusterSize = std::int64_t{512} << 8;
    const auto l = advancedExFatLayout(fats_[index].offset, heap.offset, clusterSize, volume_.size(), heap.anchor);
    if (!l) return false;
    setAdvancedLayout(l->chain, l->root);
    return true;
}

std::vector<std::string> Fat64Class::clusterItems() const {
    std::vector<std::string> items;
    const auto add = [&items](const std::string& item) {
        if (std::find(items.begin(), items.end(), item) == items.end()) items.push_back(item);
    };
    if (!heaps_.empty() && heaps_.front().clusterSize >= 512)
        add(std::to_string(std::countr_zero(static_cast<std::uint64_t>(heaps_.front().clusterSize / 512))));
    if (bootShift_ >= 0) add(std::to_string(bootShift_));
    // The usual list, then the smaller clusters formatters choose for small volumes.
    for (const char* item : {"8", "9", "10", "11", "0", "1", "2", "3", "4", "5", "6", "7"}) add(item);
    return items;
}

const char* Fat64Class::foundMessagePattern() const {
    return "Number of FAT64-ENTRY found = %d and Number of HeapOffset-ENTRY found =  %d  . Please select the choice "
           "from ( Entry and Heap ) Combobox and click Parse button to proceed.";
}

std::string Fat64Class::foundMessage() const {
    char buf[256];
    std::snprintf(buf, sizeof buf, foundMessagePattern(), static_cast<int>(fats_.size()),
                  static_cast<int>(heaps_.size()));
    return buf;
}

}  // namespace tavrel::fs::fat
