// The order in which a directory walk visits folders: depth first and in slot
// order, but every live folder before any deleted one.
#pragma once

#include <cstdint>
#include <vector>

namespace tavrel::fs::fat {

class FolderStacks {
public:
    // Pushes a directory's folders so that the first of them is walked first.
    template <typename IsDeleted>
    void push(const std::vector<std::uint32_t>& folders, IsDeleted isDeleted) {
        for (auto it = folders.rbegin(); it != folders.rend(); ++it) (isDeleted(*it) ? deleted_ : live_).push_back(*it);
    }
    bool pop(std::uint32_t& folder) {
        std::vector<std::uint32_t>& from = live_.empty() ? deleted_ : live_;
        if (from.empty()) return false;
        folder = from.back();
        from.pop_back();
        return true;
    }

private:
    std::vector<std::uint32_t> live_;
    std::vector<std::uint32_t> deleted_;
};

}  // namespace tavrel::fs::fat
