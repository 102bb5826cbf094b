// Paths as `tavrel-cli ls` prints them: names below the top item joined with
// "/". Options that take such a path (ls --path, cat, recover --path) accept
// leading and trailing "/" too.
#pragma once

#include <string>

namespace tavrel::cli {

// p without leading and trailing "/" ("" stands for the whole volume).
inline std::string trimmedPath(std::string p) {
    while (!p.empty() && p.front() == '/') p.erase(0, 1);
    while (!p.empty() && p.back() == '/') p.pop_back();
    return p;
}

// True when path is top or lies below it (every path lies below "").
inline bool within(const std::string& path, const std::string& top) {
    if (top.empty() || path == top) return true;
    return path.size() > top.size() && path.compare(0, top.size(), top) == 0 && path[top.size()] == '/';
}

}  // namespace tavrel::cli
