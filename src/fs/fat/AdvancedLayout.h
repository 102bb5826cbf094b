// The volume layout of Advanced mode, derived from a hunted FAT copy (and, for
// exFAT, a hunted heap offset) and a cluster size, without the boot sector.
//
// FAT12/16 and FAT32: the FAT's size is the distance to the next (or previous)
// hunted copy when that is no more than a FAT for the volume's clusters needs,
// else that need. The FATs are followed by the fixed root directory (FAT12/16,
// 512 slots unless the data area is known) and the cluster heap. When the hunt
// learnt where cluster 2 lies (from folders' "." entries) and that place fits
// behind the chosen FAT, it is taken instead. On FAT12/16 volumes the entries
// are 12 bits wide when the layout leaves fewer than 4085 clusters (the rule
// that tells FAT12 from FAT16), else 16 bits.
//
// exFAT: the heap offset is the chosen one; the root directory is the cluster
// holding the allocation-bitmap entry that supported the heap, when known.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "fs/fat/FatFamilyParser.h"

namespace tavrel::fs::fat {

struct AdvancedLayout {
    ChainGeometry chain;
    RootDirectory root;
};

struct FatLayoutChoice {
    bool fat32 = false;
    std::vector<std::int64_t> fats;  // hunted FAT offsets, in volume order
    std::size_t index = 0;           // the chosen one
    std::int64_t clusterSize = 0;
    std::int64_t volumeSize = 0;
    std::int64_t dataOffset = -1;    // where cluster 2 lies, when the hunt learnt it
};

// nullopt when the choice leaves no cluster inside the volume.
std::optional<AdvancedLayout> advancedFatLayout(const FatLayoutChoice& choice);

std::optional<AdvancedLayout> advancedExFatLayout(std::int64_t fatOffset, std::int64_t heapOffset,
                                                  std::int64_t clusterSize, std::int64_t volumeSize,
                                                  std::int64_t rootEntry);

}  // namespace tavrel::fs::fat
