// Paths as `tavrel-cli ls` prints them: names below the top item joined with
// "/". Options that take such a path (ls --path, cat, recover --path) accept
// leading and trailing "/" too, and also the escaped form ls prints
// (TerminalText.h), where a "/" inside a name reads "\x2F".
#pragma once

#include <string>
#include <vector>

#include "browse/EntryWalk.h"
#include "cli/TerminalText.h"

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

// The same for the entry named by `names` (from below the top item down), with
// top given plain (names joined with "/") or escaped as ls prints it.
inline bool within(const std::vector<std::string>& names, const std::string& top) {
    return within(browse::joinPath(names), top) || within(listingPath(names), top);
}

// True when the entry named by `names` is the one `path` (trimmed) gives, in
// either form.
inline bool samePath(const std::vector<std::string>& names, const std::string& path) {
    return browse::joinPath(names) == path || listingPath(names) == path;
}

// The entries `path` names as ls prints it (plain or escaped), in listing order.
inline std::vector<fs::EntryRef> listedEntries(const fs::Parser& parser, const std::string& path) {
    const std::string wanted = trimmedPath(path);
    std::vector<fs::EntryRef> found;
    browse::walkTree(parser, std::nullopt, [&](fs::EntryRef e, const std::vector<std::string>& names) {
        if (samePath(names, wanted)) found.push_back(e);
        return true;
    });
    return found;
}

}  // namespace tavrel::cli
