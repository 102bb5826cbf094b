#include "browse/NameSearch.h"

#include <optional>

#include "browse/EntryWalk.h"
#include "browse/NamePattern.h"

namespace tavrel::browse {

namespace {

// Position reports are thinned out: one per this many entries tested.
constexpr std::int64_t kPositionStep = 256;

bool isTested(const fs::Parser& parser, fs::EntryRef e, std::size_t depth) {
    return !parser.isFolder(e) || (depth == 1 && !parser.hasChildren(e));
}

}  // namespace

SearchResult searchNames(const fs::Parser& parser, std::string_view pattern, WorkControl& work) {
    SearchResult result;
    if (pattern.empty()) return result;
    const std::optional<NamePattern> compiled = NamePattern::compile(pattern);
    if (!compiled) {
        result.refused = true;
        return result;
    }

    std::int64_t total = 0;
    walkTree(parser, std::nullopt, [&](fs::EntryRef e, const std::vector<std::string>& path) {
        if (!work.checkpoint()) return false;
        if (isTested(parser, e, path.size())) ++total;
        return true;
    });
    work.range(0, total);
    work.position(0);

    std::int64_t tested = 0;
    // The walk visits parents before their children: the entries on the way
    // down, one per level, are the parents of the entry visited next.
    std::vector<fs::EntryRef> way;
    walkTree(parser, std::nullopt, [&](fs::EntryRef e, const std::vector<std::string>& path) {
        if (!work.checkpoint()) return false;
        way.resize(path.size() - 1);
        way.push_back(e);
        if (!isTested(parser, e, path.size())) return true;
        if (++tested % kPositionStep == 0) work.position(tested);
        if (compiled->matches(path.back())) {
            result.hits.push_back({e, joinPath(path), path, std::vector<fs::EntryRef>(way.begin(), way.end() - 1)});
            work.status(texts::searchedText(static_cast<std::int64_t>(result.hits.size())));
        }
        return true;
    });
    result.stopped = work.stopRequested();
    work.position(result.stopped ? tested : total);
    return result;
}

}  // namespace tavrel::browse
