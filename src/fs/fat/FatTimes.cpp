#include "fs/fat/FatTimes.h"

#include "fs/fat/FatDirSlot.h"
#include "util/Texts.h"

namespace tavrel::fs::fat {

static std::optional<TimePoint> dosTimePoint(std::uint16_t date, std::uint16_t time, unsigned tenMs) {
    if (!validDosDateTime(date, time)) return std::nullopt;
    TimePoint p;
    p.seconds = unixFromCivil(dosCivil(date, time)) + tenMs / 100;
    p.nanoseconds = (tenMs % 100) * 10'000'000u;
    return p;
}

EntryTimes fatEntryTimes(const DirSlot& s) {
    EntryTimes t;
    t.created = dosTimePoint(s.creationDate, s.creationTime, s.creationTenths <= 199 ? s.creationTenths : 0);
    t.modified = dosTimePoint(s.writeDate, s.writeTime, 0);
    t.accessed = dosTimePoint(s.accessDate, 0, 0);
    return t;
}

std::string attributeText(std::uint8_t a) {
    std::string text;
    if (a & 0x01) text += "-R";
    if (a & 0x02) text += "-H";
    if (a & 0x04) text += "-S";
    if (a & 0x20) text += "-A";
    return text;
}

EntryDescription fatDescription(const DirSlot& s) {
    EntryDescription d;
    d.created = timeText(dosCivil(s.creationDate, s.creationTime));
    d.accessed = dateText(dosCivil(s.accessDate, 0));
    d.modified = timeText(dosCivil(s.writeDate, s.writeTime));
    d.attributes = attributeText(s.attributes);
    return d;
}

}  // namespace tavrel::fs::fat
