// The entry view over the HFS+ entries: tree links, names, sizes, times and the
// list texts. Entries are looked up by CNID.

#include "fs/hfsplus/HFSP.h"
#include "util/Texts.h"

namespace tavrel::fs {

using namespace hfsplus;

namespace {

std::int64_t unixFromHfs(std::uint32_t hfsSeconds) { return std::int64_t{hfsSeconds} - kEpochToUnix; }

// Dates are stored in UTC; the list shows them in the local time zone.
std::string localTimeText(std::uint32_t hfsSeconds) { return tavrel::localTimeText(unixFromHfs(hfsSeconds)); }

std::string permissionText(std::uint16_t mode) {
    static constexpr struct {
        std::uint16_t bit;
        const char* text;
    } kBits[] = {{0x40, "-Owner:X"}, {0x80, "-Owner:W"}, {0x100, "-Owner:R"}, {0x01, "-OX"}, {0x02, "-OW"},
                 {0x04, "-OR"},      {0x08, "-GX"},      {0x10, "-GW"},       {0x20, "-GR"}};
    std::string out;
    for (const auto& b : kBits)
        if (mode & b.bit) out += b.text;
    return out;
}

}  // namespace

std::vector<EntryRef> HFSP::children(EntryRef e) const {
    std::vector<EntryRef> out;
    const std::size_t i = indexOf(e);
    if (i >= entries_.size()) return out;
    for (const EntryRef c : tree_.children(i)) out.push_back(entries_[c].cnid);
    return out;
}

bool HFSP::isFolder(EntryRef e) const {
    const HfsEntry* x = entry(e);
    return x && x->folder();
}

bool HFSP::hasChildren(EntryRef e) const {
    const std::size_t i = indexOf(e);
    return i < entries_.size() && tree_.hasChildren(i);
}

bool HFSP::isDeleted(EntryRef e) const {
    const HfsEntry* x = entry(e);
    return x && x->deleted;
}

std::string HFSP::name(EntryRef e) const {
    const HfsEntry* x = entry(e);
    return x ? x->name : std::string();
}

std::int64_t HFSP::size(EntryRef e) const {
    const HfsEntry* x = entry(e);
    if (!x || x->folder()) return 0;
    const std::uint64_t s = contentOf(*x).size;
    return s > static_cast<std::uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<std::int64_t>(s);
}

std::string HFSP::sizeText(EntryRef e) const { return tavrel::sizeText(size(e)); }

EntryTimes HFSP::times(EntryRef e) const {
    EntryTimes t;
    const HfsEntry* x = entry(e);
    if (!x || !x->hasDates) return t;
    t.created = TimePoint{unixFromHfs(x->createDate), 0};
    t.modified = TimePoint{unixFromHfs(x->contentModDate), 0};
    t.accessed = TimePoint{unixFromHfs(x->accessDate), 0};
    return t;
}

EntryDescription HFSP::describeEntry(EntryRef e) const {
    EntryDescription d;
    const HfsEntry* x = entry(e);
    if (!x || x->folder() || !x->hasDates) return d;
    d.created = localTimeText(x->createDate);
    d.accessed = localTimeText(x->accessDate);
    d.modified = localTimeText(x->contentModDate);
    d.attributes = permissionText(x->fileMode);
    return d;
}

}  // namespace tavrel::fs
