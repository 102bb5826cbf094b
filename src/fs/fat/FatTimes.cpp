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

EntryTimes fatEntryTimes(const FatEntry& e) {
    EntryTimes t;
    t.created = dosTimePoint(e.creationDate, e.creationTime, e.creationTenths <= 199 ? e.creationTenths : 0);
    t.modified = dosTimePoint(e.writeDate, e.writeTime, 0);
    t.accessed = dosTimePoint(e.accessDate, 0, 0);
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

EntryDescription fatDescription(const FatEntry& e) {
    EntryDescription d;
    d.created = timeText(dosCivil(e.creationDate, e.creationTime));
    d.accessed = dateText(dosCivil(e.accessDate, 0));
    d.modified = timeText(dosCivil(e.writeDate, e.writeTime));
    d.attributes = attributeText(e.attributes);
    return d;
}

}  // namespace tavrel::fs::fat
