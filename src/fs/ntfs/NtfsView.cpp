// The entry view over the NTFS entries: tree links, names, sizes, times and the
// list texts.
#include <ctime>

#include "fs/ntfs/ntfs.h"
#include "util/Texts.h"

namespace tavrel::fs {

std::vector<EntryRef> ntfs::rootLevel() const { return rootLevel_; }

std::vector<EntryRef> ntfs::children(EntryRef e) const {
    std::vector<EntryRef> out;
    if (!validRef(e)) return out;
    std::int64_t c = entries_[e].firstChild;
    // A chain never holds more entries than the table.
    for (std::size_t steps = 0; c >= 0 && static_cast<std::size_t>(c) < entries_.size() && steps < entries_.size(); ++steps) {
        out.push_back(static_cast<EntryRef>(c));
        c = entries_[static_cast<std::size_t>(c)].nextSibling;
    }
    return out;
}

bool ntfs::isFolder(EntryRef e) const { return validRef(e) && entries_[e].kind == 'D'; }
bool ntfs::hasChildren(EntryRef e) const { return validRef(e) && entries_[e].firstChild >= 0; }
bool ntfs::isDeleted(EntryRef e) const { return validRef(e) && (entries_[e].recordFlags & 1) == 0; }
std::string ntfs::name(EntryRef e) const { return validRef(e) ? entries_[e].name : std::string(); }
bool ntfs::skipInSave(EntryRef e) const { return name(e) == "$BadClus"; }
bool ntfs::enterInSave(EntryRef e) const { return name(e) != "."; }

std::int64_t ntfs::size(EntryRef e) const {
    if (!validRef(e) || entries_[e].kind == 'D' || static_cast<std::int64_t>(e) == orphanIndex_) return 0;
    const DataStream d = gatherData(entries_[e]);
    if (!d.info.present) return 0;
    const std::uint64_t s = d.info.realSize;
    return s > static_cast<std::uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<std::int64_t>(s);
}

std::string ntfs::sizeText(EntryRef e) const { return tavrel::sizeText(size(e)); }

std::optional<StandardInformation> ntfs::standardInformation(const NtfsEntry& entry) const {
    std::vector<std::uint8_t> record;
    if (entry.recordOffset < 0 || !readRecord(entry.recordOffset, record) || le32(record, 0) != kFileTag)
        return std::nullopt;
    applyFixup(record);
    for (const auto& a : collectAttributes(record))
        if (a.type == kAttrStandardInformation && !a.nonResident) return decodeStandardInformation(residentValue(record, a));
    return std::nullopt;
}

EntryTimes ntfs::times(EntryRef e) const {
    EntryTimes t;
    if (!validRef(e)) return t;
    const auto si = standardInformation(entries_[e]);
    if (!si) return t;
    // A zero FILETIME means the time was never set: no time rather than 1601.
    auto point = [](std::uint64_t filetime) -> std::optional<TimePoint> {
        if (filetime == 0) return std::nullopt;
        TimePoint p;
        p.seconds = unixFromFiletime(filetime, &p.nanoseconds);
        return p;
    };
    t.created = point(si->created);
    t.modified = point(si->modified);
    t.accessed = point(si->accessed);
    return t;
}

namespace {
// NTFS stores UTC; the list shows the time in the local time zone, as the
// desktop's own file views do.
std::string localTimeText(std::uint64_t filetime) {
    const std::int64_t seconds = unixFromFiletime(filetime);
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (!localtime_r(&t, &local)) return {};
    CivilTime c;
    c.year = local.tm_year + 1900;
    c.month = local.tm_mon + 1;
    c.day = local.tm_mday;
    c.hour = local.tm_hour;
    c.minute = local.tm_min;
    c.second = local.tm_sec;
    if (c.year < 1 || c.year > 9999) return {};
    return timeText(c);
}
}  // namespace

EntryDescription ntfs::describeEntry(EntryRef e) const {
    EntryDescription d;
    if (!validRef(e)) return d;
    const NtfsEntry& entry = entries_[e];
    std::vector<std::uint8_t> record;
    if (entry.recordOffset < 0 || !readRecord(entry.recordOffset, record) || le32(record, 0) != kFileTag) return d;
    applyFixup(record);
    for (const auto& a : collectAttributes(record)) {
        if (a.nonResident) continue;
        if (a.type == kAttrStandardInformation) {
            if (const auto si = decodeStandardInformation(residentValue(record, a))) {
                d.created = localTimeText(si->created);
                d.modified = localTimeText(si->modified);
                d.accessed = localTimeText(si->accessed);
            }
        } else if (a.type == kAttrFileName) {
            // The attribute text comes from the last $FILE_NAME.
            if (const auto fn = decodeFileName(residentValue(record, a))) d.attributes = attributeText(fn->fileAttributes & 0xFFFF);
        }
    }
    return d;
}

}  // namespace tavrel::fs
