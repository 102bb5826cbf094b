// The condition of a deleted file: whether the clusters (blocks) its entry
// points to are still free, by the file system's own allocation map. Intact:
// none is allocated now; partly overwritten: some are; overwritten: all are;
// unknown: the map cannot be read, or the entry no longer says where its
// content was. Content held in the entry's own record is intact while the
// record is listed. An empty deleted file is intact.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "fs/Parser.h"

namespace tavrel::fs {

enum class Condition { Intact, PartlyOverwritten, Overwritten, Unknown };

struct EntryCondition {
    Condition condition = Condition::Unknown;
    bool counted = false;       // the counts below are known
    std::uint64_t reused = 0;   // clusters allocated again since the delete
    std::uint64_t clusters = 0; // clusters the entry points to
};

// "intact", "partly overwritten", "overwritten", "unknown"
const char* conditionWord(Condition c);
// The listing's short form: "intact", "partly", "overwritten", "unknown"
const char* conditionShortWord(Condition c);
// The condition a word names (conditionWord's words); nullopt for any other.
std::optional<Condition> conditionOfWord(std::string_view word);

// The condition of the place where content lies, by `map` (nullptr: no map).
EntryCondition conditionOfPlace(const ContentPlace& place, const AllocationMap* map);

// The condition of a deleted file; nullopt for live entries and folders.
// Reads through the parser (its map on first use): the parser's thread only.
std::optional<EntryCondition> deletedFileCondition(const Parser& parser, EntryRef e);

}  // namespace tavrel::fs
