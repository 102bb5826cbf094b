#include "fs/Condition.h"

namespace tavrel::fs {

const char* conditionWord(Condition c) {
    switch (c) {
        case Condition::Intact: return "intact";
        case Condition::PartlyOverwritten: return "partly overwritten";
        case Condition::Overwritten: return "overwritten";
        case Condition::Unknown: break;
    }
    return "unknown";
}

const char* conditionShortWord(Condition c) {
    return c == Condition::PartlyOverwritten ? "partly" : conditionWord(c);
}

std::optional<Condition> conditionOfWord(std::string_view word) {
    for (const Condition c :
         {Condition::Intact, Condition::PartlyOverwritten, Condition::Overwritten, Condition::Unknown})
        if (word == conditionWord(c)) return c;
    return std::nullopt;
}

EntryCondition conditionOfPlace(const ContentPlace& place, const AllocationMap* map) {
    EntryCondition result;
    if (place.kind == ContentPlace::Kind::Resident) {
        result.condition = Condition::Intact;
        return result;
    }
    if (place.kind != ContentPlace::Kind::Units || !map) return result;
    result.counted = true;
    for (const UnitRun& r : place.runs) {
        result.clusters += r.count;
        result.reused += map->countAllocated(r.first, r.count);
    }
    if (result.reused == 0) result.condition = Condition::Intact;
    else if (result.reused < result.clusters) result.condition = Condition::PartlyOverwritten;
    else result.condition = Condition::Overwritten;
    return result;
}

std::optional<EntryCondition> deletedFileCondition(const Parser& parser, EntryRef e) {
    if (!parser.isDeleted(e) || parser.isFolder(e)) return std::nullopt;
    const ContentPlace place = parser.contentPlace(e);
    // The map is read only when a place needs it.
    return conditionOfPlace(place, place.kind == ContentPlace::Kind::Units ? parser.allocationMap() : nullptr);
}

}  // namespace tavrel::fs
