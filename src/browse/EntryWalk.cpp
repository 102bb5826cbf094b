#include "browse/EntryWalk.h"

#include <set>

namespace tavrel::browse {

namespace {

struct Walker {
    const fs::Parser& parser;
    const std::function<bool(fs::EntryRef, const std::vector<std::string>&)>& visit;
    const TooDeep& tooDeep;
    std::set<fs::EntryRef> entered;
    std::vector<std::string> path;
    bool stopped = false;

    void walk(const std::vector<fs::EntryRef>& entries, int depth) {
        for (const fs::EntryRef e : entries) {
            if (stopped) return;
            path.push_back(parser.shownName(e));
            if (!visit(e, path)) stopped = true;
            if (!stopped && parser.isFolder(e) && parser.enterInSave(e) && entered.insert(e).second) {
                if (depth < kMaxWalkDepth) {
                    walk(parser.children(e), depth + 1);
                } else if (tooDeep) {
                    tooDeep(e, path);
                }
            }
            path.pop_back();
        }
    }
};

struct PathMatcher {
    const fs::Parser& parser;
    std::set<fs::EntryRef> entered;
    std::vector<fs::EntryRef> found;

    // rest is the part of the wanted path still to match below these entries.
    void match(const std::vector<fs::EntryRef>& entries, const std::string& rest, int depth) {
        for (const fs::EntryRef e : entries) {
            const std::string n = parser.shownName(e);
            if (rest == n) {
                found.push_back(e);
            } else if (rest.size() > n.size() && rest.compare(0, n.size(), n) == 0 && rest[n.size()] == '/' &&
                       depth < kMaxWalkDepth && parser.isFolder(e) && entered.insert(e).second) {
                match(parser.children(e), rest.substr(n.size() + 1), depth + 1);
            }
        }
    }
};

struct ParentFinder {
    const fs::Parser& parser;
    fs::EntryRef wanted;
    std::set<fs::EntryRef> entered;
    std::vector<fs::EntryRef> chain;

    bool find(const std::vector<fs::EntryRef>& entries, int depth) {
        for (const fs::EntryRef e : entries) {
            if (e == wanted) return true;
        }
        for (const fs::EntryRef e : entries) {
            if (depth >= kMaxWalkDepth || !parser.isFolder(e) || !entered.insert(e).second) continue;
            chain.push_back(e);
            if (find(parser.children(e), depth + 1)) return true;
            chain.pop_back();
        }
        return false;
    }
};

}  // namespace

std::vector<fs::EntryRef> childrenOf(const fs::Parser& parser, std::optional<fs::EntryRef> folder) {
    return folder ? parser.children(*folder) : parser.rootLevel();
}

void walkTree(const fs::Parser& parser, std::optional<fs::EntryRef> from,
              const std::function<bool(fs::EntryRef, const std::vector<std::string>&)>& visit,
              const TooDeep& tooDeep) {
    Walker w{parser, visit, tooDeep, {}, {}, false};
    if (from) w.entered.insert(*from);
    w.walk(childrenOf(parser, from), 0);
}

bool damagedAndEmpty(const fs::Parser& parser, const fs::ScanOutcome& outcome) {
    if (outcome.result != fs::ScanResult::Done || (parser.warnings().total() == 0 && parser.scanWarning().empty())) return false;
    bool file = false;
    walkTree(parser, std::nullopt, [&](fs::EntryRef e, const std::vector<std::string>&) {
        file = !parser.isFolder(e);
        return !file;
    });
    return !file;
}

std::string joinPath(const std::vector<std::string>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i) out += '/';
        out += names[i];
    }
    return out;
}

std::vector<fs::EntryRef> findByPath(const fs::Parser& parser, const std::string& path) {
    std::string wanted = path;
    if (!wanted.empty() && wanted.front() == '/') wanted.erase(0, 1);
    if (!wanted.empty() && wanted.back() == '/') wanted.pop_back();
    PathMatcher m{parser, {}, {}};
    m.match(parser.rootLevel(), wanted, 0);
    return m.found;
}

std::optional<std::vector<fs::EntryRef>> parentsOf(const fs::Parser& parser, fs::EntryRef entry) {
    ParentFinder f{parser, entry, {}, {}};
    if (!f.find(parser.rootLevel(), 0)) return std::nullopt;
    return f.chain;
}

}  // namespace tavrel::browse
