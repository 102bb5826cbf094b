#include "fs/EntryTable.h"

namespace tavrel::fs {

void EntryTable::reset(std::size_t count) {
    links_.assign(0, Links{});
    links_.resize(count);
}

void EntryTable::append(std::size_t parent, std::size_t child) {
    if (parent >= size() || child >= size() || parent == child || links_[child].parent != kNone) return;
    Links& p = links_[parent];
    const auto c = static_cast<std::uint32_t>(child);
    if (p.lastChild == kNone) p.firstChild = c;
    else links_[p.lastChild].nextSibling = c;
    p.lastChild = c;
    links_[child].parent = static_cast<std::uint32_t>(parent);
    links_[child].nextSibling = kNone;
}

void EntryTable::pushFront(std::size_t parent, std::size_t child) {
    if (parent >= size() || child >= size() || parent == child || links_[child].parent != kNone) return;
    Links& p = links_[parent];
    const auto c = static_cast<std::uint32_t>(child);
    links_[child].nextSibling = p.firstChild;
    links_[child].parent = static_cast<std::uint32_t>(parent);
    p.firstChild = c;
    if (p.lastChild == kNone) p.lastChild = c;
}

void EntryTable::unlink(std::size_t child) {
    const std::uint32_t p = links_[child].parent;
    if (p == kNone || p >= size()) {
        links_[child].parent = kNone;
        return;
    }
    Links& parent = links_[p];
    const auto c = static_cast<std::uint32_t>(child);
    std::uint32_t previous = kNone;
    std::uint32_t at = parent.firstChild;
    for (std::size_t steps = 0; at != kNone && at < size() && steps < size(); ++steps) {
        if (at == c) {
            if (previous == kNone) parent.firstChild = links_[at].nextSibling;
            else links_[previous].nextSibling = links_[at].nextSibling;
            if (parent.lastChild == c) parent.lastChild = previous;
            break;
        }
        previous = at;
        at = links_[at].nextSibling;
    }
    links_[child].parent = kNone;
    links_[child].nextSibling = kNone;
}

std::vector<EntryRef> EntryTable::children(std::size_t i) const {
    std::vector<EntryRef> out;
    for (std::uint32_t c = firstChild(i); c != kNone && c < size() && out.size() < size(); c = links_[c].nextSibling)
        out.push_back(c);
    return out;
}

void EntryTable::markFrom(std::size_t start, std::vector<char>& reached) const {
    std::vector<std::size_t> stack{start};
    while (!stack.empty()) {
        const std::size_t n = stack.back();
        stack.pop_back();
        if (n >= size() || reached[n]) continue;
        reached[n] = 1;
        std::size_t steps = 0;
        for (std::uint32_t c = links_[n].firstChild; c != kNone && c < size() && steps < size();
             c = links_[c].nextSibling, ++steps)
            if (!reached[c]) stack.push_back(c);
    }
}

std::vector<char> EntryTable::reachableFrom(const std::vector<std::size_t>& tops) const {
    std::vector<char> reached(size(), 0);
    for (std::size_t t : tops)
        if (t < size()) markFrom(t, reached);
    return reached;
}

}  // namespace tavrel::fs
