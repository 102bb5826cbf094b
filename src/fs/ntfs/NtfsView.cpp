// The entry view over the NTFS entries: tree links, names, sizes, times and the
// list texts.

#include "fs/ntfs/ntfs.h"
#include "util/Texts.h"

namespace tavrel::fs {

std::vector<EntryRef> ntfs::rootLevel() const { return rootLevel_; }

std::vector<EntryRef> ntfs::children(EntryRef e) const {
    return validRef(e) ? tree_.children(static_cast<std::size_t>(e)) : std::vector<EntryRef>{};
}

bool ntfs::isFolder(EntryRef e) const { return validRef(e) && entries_[e].kind == 'D'; }
bool ntfs::hasChildren(EntryRef e) const { return validRef(e) && tree_.hasChildren(static_cast<std::size_t>(e)); }
bool ntfs::isDeleted(EntryRef e) const { return validRef(e) && (entries_[e].recordFlags & 1) == 0; }
std::string ntfs::name(EntryRef e) const { return validRef(e) ? entries_[e].name : std::string(); }
bool ntfs::skipInSave(EntryRef e) const { return name(e) == "$BadClus"; }
bool ntfs::enterInSave(EntryRef e) const { return name(e) != "."; }

// Size, times and texts come from what the scan gathered: no reads here.
std::int64_t ntfs::size(EntryRef e) const {
    if (!validRef(e) || entries_[e].kind == 'D' || static_cast<std::int64_t>(e) == orphanIndex_) return 0;
    const std::uint64_t s = entries_[e].dataSize;
    return s > static_cast<std::uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<std::int64_t>(s);
}

std::string ntfs::sizeText(EntryRef e) const { return tavrel::sizeText(size(e)); }

EntryTimes ntfs::times(EntryRef e) const {
    EntryTimes t;
    if (!validRef(e) || !entries_[e].hasTimes) return t;
    const NtfsEntry& entry = entries_[e];
    // A zero FILETIME means the time was never set: no time rather than 1601.
    auto point = [](std::uint64_t filetime) -> std::optional<TimePoint> {
        if (filetime == 0) return std::nullopt;
        TimePoint p;
        p.seconds = unixFromFiletime(filetime, &p.nanoseconds);
        return p;
    };
    t.created = point(entry.created);
    t.modified = point(entry.modified);
    t.accessed = point(entry.accessed);
    return t;
}

namespace {
// NTFS stores UTC; the list shows the time in the local time zone. A zero
// FILETIME was never set: an empty cell, as times() gives no time, not 1601.
std::string localTimeText(std::uint64_t filetime) {
    return filetime == 0 ? std::string() : tavrel::localTimeText(unixFromFiletime(filetime));
}
}  // namespace

EntryDescription ntfs::describeEntry(EntryRef e) const {
    EntryDescription d;
    if (!validRef(e) || entries_[e].recordOffset < 0) return d;
    const NtfsEntry& entry = entries_[e];
    if (entry.hasTimes) {
        d.created = localTimeText(entry.created);
        d.modified = localTimeText(entry.modified);
        d.accessed = localTimeText(entry.accessed);
    }
    d.attributes = attributeText(entry.nameAttributes & 0xFFFF);
    return d;
}

}  // namespace tavrel::fs
