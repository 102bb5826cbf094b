#include "fs/fat/Fat16Class.h"

namespace tavrel::fs::fat {

const ScanTexts& Fat16Class::texts() const {
    static const ScanTexts texts{
        .notThisKind = "Selected Drive is not in Fat16 Format",
        .walking = {"Finding Fat16 File And Directory entries recursively....", nullptr},
        .linking = "maintaining tree Structure in vector...",
        .rooting = "Creating Tree Structure....",
        .rooted = "Tree Structure Created.",
        .done = nullptr,
        .linkProgress = true,
        .finalProgress = true,
        .advancedLinking = "Maintaining Tree Structure for Tree Control",
    };
    return texts;
}

std::optional<RootDirectory> Fat16Class::rootDirectory() {
    // The fixed region between the FATs and cluster 2.
    if (layout_.rootBytes <= 0) return std::nullopt;
    return RootDirectory{layout_.rootOffset, layout_.rootBytes, 0};
}

}  // namespace tavrel::fs::fat
