// The name search over a parsed volume: every folder is walked through the
// parser's entry view (whatever a tree shows of it), and every file whose name
// holds the pattern is a hit with its full path below the top item.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "fs/Parser.h"
#include "util/WorkControl.h"

namespace tavrel::browse {

namespace texts {
inline constexpr const char* kSearchRefused =
    "such characters are not allowed for search.Try again with different pattern.";
inline constexpr const char* kSearchFinished = "Searching Finished";
// Status line after each hit.
inline std::string searchedText(std::int64_t hits) { return "searched file " + std::to_string(hits); }
}  // namespace texts

struct SearchHit {
    fs::EntryRef entry = 0;
    std::string path;  // names below the top item joined with "/"
    std::vector<std::string> names;  // the same names, one by one
    std::vector<fs::EntryRef> parents;  // the folders from below the top item down to its parent
};

struct SearchResult {
    bool refused = false;  // the pattern holds characters the search does not accept
    bool stopped = false;  // Stop ended the walk; hits holds what was found before
    std::vector<SearchHit> hits;
};

// Searches the whole volume for pattern (see NamePattern for what it accepts).
// Files are tested at every depth; folders are entered, not tested, except that a
// top-level entry without children is tested by its own name. The empty pattern
// finds nothing. Progress: range 0..number of entries tested, position as the walk
// goes; status texts::searchedText after each hit. Walks are depth-bounded and
// enter each folder once, so a damaged tree cannot make it loop.
SearchResult searchNames(const fs::Parser& parser, std::string_view pattern, WorkControl& work);

}  // namespace tavrel::browse
