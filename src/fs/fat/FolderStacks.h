// The order in which a directory walk visits folders: depth first and in slot
// order, but every live folder before any deleted one.
#pragma once

#include <cstdint>
#include <vector>

namespace tavrel::fs::fat {

struct PendingFolder {
    std::uint32_t record = 0;
    std::uint32_t depth = 0;  // 1 for a folder of the root directory
};

class FolderStacks {
public:
    // Pushes a directory's folders so that the first of them is walked first.
    template <typename IsDeleted>
    void push(const std::vector<std::uint32_t>& folders, std::uint32_t depth, IsDeleted isDeleted) {
        for (auto it = folders.rbegin(); it != folders.rend(); ++it)
            (isDeleted(*it) ? deleted_ : live_).push_back({*it, depth});
    }
    bool pop(PendingFolder& folder) {
        std::vector<PendingFolder>& from = live_.empty() ? deleted_ : live_;
        if (from.empty()) return false;
        folder = from.back();
        from.pop_back();
        return true;
    }

private:
    std::vector<PendingFolder> live_;
    std::vector<PendingFolder> deleted_;
};

}  // namespace tavrel::fs::fat
