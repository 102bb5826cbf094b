// Depth-first walks over a parser's entry tree, in tree order, safe on damaged
// trees: a folder is entered at most once per walk (so a loop in the parent
// links cannot recurse forever) and nesting is bounded.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "fs/Parser.h"

namespace tavrel::browse {

// Deepest folder nesting a walk enters.
inline constexpr int kMaxWalkDepth = 1024;

// The children of a folder entry, or the top item's first level for nullopt.
std::vector<fs::EntryRef> childrenOf(const fs::Parser& parser, std::optional<fs::EntryRef> folder);

// Told of a folder that was listed but not entered because it lies
// kMaxWalkDepth levels deep (its path as visit had it).
using TooDeep = std::function<void(fs::EntryRef, const std::vector<std::string>& path)>;

// Calls visit for every entry below `from` (nullopt: the top item), parents
// before their children. path holds the names from below the top item down to
// and including the entry. visit returns false to end the walk early. Folders
// the save walk does not enter (enterInSave) are listed but not entered.
void walkTree(const fs::Parser& parser, std::optional<fs::EntryRef> from,
              const std::function<bool(fs::EntryRef, const std::vector<std::string>& path)>& visit,
              const TooDeep& tooDeep = {});

// True when a scan that ran to its end met damage (counted in the parser's
// warnings) or had to use a backup structure (told in the parser's scan warning), and
// its tree still holds no file at all: an outcome of its own, never a healthy
// empty listing. A healthy volume without files is not such a case.
bool damagedAndEmpty(const fs::Parser& parser, const fs::ScanOutcome& outcome);
inline constexpr const char* kDamagedEmptyText =
    "No file was found on this volume: its file system structures are damaged.";

// A path of names joined with "/", relative to the top item.
std::string joinPath(const std::vector<std::string>& names);

// Every entry whose path below the top item is `path` (names joined with "/";
// names that themselves hold "/" match too). A deleted and a live entry may
// share one path, so there can be several. Leading and trailing "/" are ignored.
std::vector<fs::EntryRef> findByPath(const fs::Parser& parser, const std::string& path);

// The folder entries from below the top item down to the entry's parent, as a
// selection item needs them; nullopt when the entry is not in the tree.
std::optional<std::vector<fs::EntryRef>> parentsOf(const fs::Parser& parser, fs::EntryRef entry);

}  // namespace tavrel::browse
