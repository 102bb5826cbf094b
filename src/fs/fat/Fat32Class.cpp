#include "fs/fat/Fat32Class.h"

namespace tavrel::fs::fat {

const ScanTexts& Fat32Class::texts() const {
    static const ScanTexts texts{
        .notThisKind = "Selected Drive is not in Fat32 Format",
        .walking = {"Finding Fat32 File And Directory entries recursively....", nullptr},
        .linking = "maintaining tree Structure in vector...",
        .rooting = "Creating Tree Structure....",
        .rooted = "Tree Structure Created.",
        .done = nullptr,
        .linkProgress = false,
        .finalProgress = false,
    };
    return texts;
}

std::optional<RootDirectory> Fat32Class::rootDirectory() {
    // Counting the first FAT sector's entries up to an end mark is no guide to
    // the root's length: formatters write the end mark into entry 1, which
    // would leave the root empty. The chain from the root cluster is followed.
    rootCluster_ = layout_.validCluster(layout_.rootCluster) ? layout_.rootCluster : 2;
    if (!layout_.validCluster(rootCluster_)) return std::nullopt;
    return RootDirectory{-1, 0, rootCluster_};
}

}  // namespace tavrel::fs::fat
