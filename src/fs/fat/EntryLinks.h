// Parent, first-child and next-sibling links shared by the FAT and exFAT entry
// tables. Record 0 of each table is the synthetic "DUMMY ENTRY"; top-level records
// have parent 0 and so become its children.
#pragma once

#include <cstdint>
#include <vector>

#include "fs/Parser.h"

namespace tavrel::fs::fat {

inline constexpr std::uint32_t kNoEntry = 0xFFFFFFFFu;
inline constexpr const char* kDummyEntryName = "DUMMY ENTRY";

struct EntryLinks {
    std::uint32_t parent = 0;
    std::uint32_t ownPosition = 0;
    std::uint32_t firstChild = kNoEntry;
    std::uint32_t nextSibling = kNoEntry;
};

// Links every record to its parent's child list, in table order. Appending keeps
// a last-child index per parent so each record costs O(1). Progress goes to
// `work` (range 0..1000) when reportProgress is set.
template <typename Record>
void linkChildren(std::vector<Record>& table, WorkControl& work, bool reportProgress) {
    const std::size_t count = table.size();
    std::vector<std::uint32_t> lastChild(count, kNoEntry);
    if (reportProgress) work.range(0, 1000);
    for (std::size_t i = 0; i < count; ++i) {
        EntryLinks& links = table[i].links;
        links.firstChild = kNoEntry;
        links.nextSibling = kNoEntry;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t p = table[i].links.parent;
        if (p >= count || p == i) continue;
        const auto self = static_cast<std::uint32_t>(i);
        if (lastChild[p] == kNoEntry) {
            table[p].links.firstChild = self;
        } else {
            table[lastChild[p]].links.nextSibling = self;
        }
        lastChild[p] = self;
        if (reportProgress && (i & 0x3FF) == 0) work.position(static_cast<std::int64_t>(i * 1000 / count));
    }
    if (reportProgress) work.position(1000);
}

// The children of record e in sibling order (bounded by the table size).
template <typename Record>
std::vector<EntryRef> childrenOf(const std::vector<Record>& table, EntryRef e) {
    std::vector<EntryRef> out;
    if (e >= table.size()) return out;
    std::uint32_t c = table[e].links.firstChild;
    while (c != kNoEntry && c < table.size() && out.size() < table.size()) {
        out.push_back(c);
        c = table[c].links.nextSibling;
    }
    return out;
}

}  // namespace tavrel::fs::fat
