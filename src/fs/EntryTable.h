// First-child and next-sibling links of a parser's entry table, kept beside the
// parser's own records (NtfsEntry, FatEntry, ...), which then hold no links.
//
// Every parser builds its tree the same way: each entry is appended under its
// parent (or pushed at the head of a folder's list), entries whose parent is
// unusable go under the orphans folder, and rescueUnreachable() then cuts loose
// any group that no walk from the top reaches (parent loops on a damaged volume),
// so every entry stays reachable and every walk down the tree ends.
#pragma once

#include <cstdint>
#include <vector>

#include "fs/Parser.h"

namespace tavrel::fs {

class EntryTable {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
    // The deepest folder nesting a walk follows; deeper folders on a damaged
    // volume are shown but not entered.
    static constexpr std::size_t kMaxDepth = 1024;

    // Sets the number of entries and forgets every link.
    void reset(std::size_t count);
    std::size_t size() const { return links_.size(); }

    // Appends `child` as the last child of `parent`, in O(1). Ignored when either
    // is out of range, they are the same, or the child is already linked.
    void append(std::size_t parent, std::size_t child);
    // Puts `child` at the head of `parent`'s children.
    void pushFront(std::size_t parent, std::size_t child);

    // Cuts loose, under `orphans`, one member of every group of linked entries
    // that no walk from `tops` reaches; `wanted(i)` says which entries must be
    // reachable. Returns how many were cut loose.
    template <typename Wanted>
    std::size_t rescueUnreachable(const std::vector<std::size_t>& tops, std::size_t orphans, Wanted wanted);

    bool linked(std::size_t i) const { return i < size() && links_[i].parent != kNone; }
    std::uint32_t parent(std::size_t i) const { return i < size() ? links_[i].parent : kNone; }
    std::uint32_t firstChild(std::size_t i) const { return i < size() ? links_[i].firstChild : kNone; }
    std::uint32_t nextSibling(std::size_t i) const { return i < size() ? links_[i].nextSibling : kNone; }
    bool hasChildren(std::size_t i) const { return firstChild(i) != kNone; }
    // The children of `i` in sibling order, bounded by the table's size.
    std::vector<EntryRef> children(std::size_t i) const;

private:
    struct Links {
        std::uint32_t parent = kNone;
        std::uint32_t firstChild = kNone;
        std::uint32_t nextSibling = kNone;
        std::uint32_t lastChild = kNone;
    };
    void unlink(std::size_t child);
    std::vector<char> reachableFrom(const std::vector<std::size_t>& tops) const;
    void markFrom(std::size_t start, std::vector<char>& reached) const;

    std::vector<Links> links_;
};

template <typename Wanted>
std::size_t EntryTable::rescueUnreachable(const std::vector<std::size_t>& tops, std::size_t orphans, Wanted wanted) {
    const std::size_t count = size();
    if (orphans >= count) return 0;
    std::vector<char> reached = reachableFrom(tops);
    std::vector<std::uint32_t> seen(count, 0);
    std::uint32_t stamp = 0;
    std::size_t rescued = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (reached[i] || !wanted(i)) continue;
        // Climb the parent links until a member repeats or a reached entry is met.
        ++stamp;
        std::size_t n = i;
        while (seen[n] != stamp) {
            seen[n] = stamp;
            const std::uint32_t p = links_[n].parent;
            if (p == kNone || p >= count || reached[p]) break;
            n = p;
        }
        if (reached[n]) continue;
        unlink(n);
        pushFront(orphans, n);
        ++rescued;
        markFrom(n, reached);
    }
    return rescued;
}

}  // namespace tavrel::fs
