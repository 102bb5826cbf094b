#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "browse/FakeParser.h"
#include "browse/NamePattern.h"
#include "browse/NameSearch.h"
#include "fs/factory/ParserFactory.h"
#include "image/FileReadSeekVHD.h"
#include "support/TestSupport.h"

using namespace tavrel;
using namespace tavrel::browse;
using tavrel::test::FakeParser;

namespace {

std::vector<std::string> hitPaths(const SearchResult& r) {
    std::vector<std::string> out;
    for (const auto& h : r.hits) out.push_back(h.path);
    return out;
}

}  // namespace

TEST(NamePattern, MatchesAnywhereInAnyCaseAndRefusesWhatIsNoExpression) {
    struct Case {
        const char* pattern;
        const char* name;
        bool refused;
        bool match;
    };
    const Case cases[] = {
        {"jpg|png", "Holiday.JPG", false, true},
        {"jpg|png", "logo.png", false, true},
        {"jpg|png", "notes.txt", false, false},
        {"Report", "annual_report.doc", false, true},
        {"a.c", "xABCx", false, true},      // "." is any one character
        {"a\\.c", "xabcx", false, false},   // "\." is a dot
        {"^rep", "my report", false, false},
        {"\\.txt$", "a.txt.bak", false, false},
        {"debian\\.(png|jpg)", "d-Debian.JPG", false, true},
        {"[0-9]+\\.jpg", "img_0042.jpg", false, true},
        {"[0-9]+\\.jpg", "img_x.jpg", false, false},
        {"ПАПКА", "папка", false, true},    // letters fold beyond ASCII
        {"ÜNÏCØDÉ", "ünïcødé.txt", false, true},
        {"", "anything", false, true},
        {"*.jpg", "", true, false},
        {"abc\\", "", true, false},
        {"(a", "", true, false},
        {"(a)\\1", "", true, false},        // backreference
        {"a(?=b)", "", true, false},         // lookahead
        {"(?<!a)b", "", true, false},        // lookbehind
        {"((a{100}){100}){100}", "", true, false},  // more than the memory bound
    };
    for (const Case& c : cases) {
        const auto p = NamePattern::compile(c.pattern);
        EXPECT_EQ(!p, c.refused) << c.pattern;
        if (p) {
            EXPECT_EQ(p->matches(c.name), c.match) << c.pattern << " on " << c.name;
        }
    }
    EXPECT_FALSE(NamePattern::compile(std::string(kMaxPatternLength + 1, 'a')));
}

TEST(NamePattern, HostileNamesAndPatternsStayCheap) {
    // Nested quantifiers that make a backtracking engine take exponential time
    // on a near-miss are matched in linear time.
    const auto p = NamePattern::compile("^(a+)+$|(a|aa)+b");
    ASSERT_TRUE(p);
    EXPECT_FALSE(p->matches(std::string(100000, 'a') + "c"));
    EXPECT_TRUE(p->matches(std::string(1000, 'a')));
    EXPECT_FALSE(p->matches("\xFF\xFE\xC0"));  // malformed UTF-8 does not match
}

TEST(NameSearch, WalksEveryFolderAndListsFullPaths) {
    FakeParser p;
    const auto docs = p.folder(0, "Docs");
    const auto deep = p.folder(p.folder(docs, "2024"), "Q1");
    const auto report = p.file(deep, "Annual_Report.doc", "x");
    p.file(docs, "photo.JPG", "x", true);
    p.file(0, "logo.png", "x");
    p.folder(0, "reports");                       // top level, empty: tested by its name
    p.file(p.folder(0, "report-folder"), "a.txt", "x");  // a folder with files is not a hit
    const auto dot = p.folder(0, ".");
    p.node(dot).noEnter = true;
    p.node(dot).children = {docs};

    struct Case {
        const char* pattern;
        bool refused;
        std::vector<std::string> paths;
    };
    const Case cases[] = {
        {"jpg|png", false, {"Docs/photo.JPG", "logo.png"}},
        {"Report", false, {"Docs/2024/Q1/Annual_Report.doc", "reports"}},
        {"*.jpg", true, {}},
        {"", false, {}},
    };
    for (const Case& c : cases) {
        WorkControl work;
        const SearchResult r = searchNames(p, c.pattern, work);
        EXPECT_EQ(r.refused, c.refused) << c.pattern;
        EXPECT_FALSE(r.stopped);
        EXPECT_EQ(hitPaths(r), c.paths) << c.pattern;
    }
    WorkControl work;
    EXPECT_EQ(searchNames(p, "annual", work).hits.front().entry, report);

    WorkControl stopped;
    stopped.requestStop();
    const SearchResult r = searchNames(p, "jpg", stopped);
    EXPECT_TRUE(r.stopped);
    EXPECT_TRUE(r.hits.empty());
}

TEST(NameSearch, FindsWhatTheSleuthKitListsOnARealNtfsVolume) {
    const auto vhdPath = test::unpackedFixture("ntfs/ntfs-mbr.vhd.xz");
    FileReadSeekVHD vhd;
    ASSERT_TRUE(vhd.open(vhdPath.string()));
    std::int64_t start = 0;
    std::ifstream(test::fixturePath("ntfs/ntfs-mbr.offset")) >> start;
    auto parser = fs::makeParser("ntfs", VolumeView(vhd, start), {});
    ASSERT_TRUE(parser);
    WorkControl scanWork;
    ASSERT_TRUE(parser->scan(scanWork).ok());

    // The oracle: fls's files (kind r, outside the orphan folder) whose last name
    // holds one of the words, compared in ASCII lower case.
    std::set<std::string> expected;
    std::ifstream listing(test::fixturePath("ntfs/ntfs-mbr.expected"));
    for (std::string line; std::getline(listing, line);) {
        if (line.empty() || line[0] != 'r' || line.find("$OrphanFiles/") != std::string::npos) continue;
        const std::string path = line.substr(line.rfind('\t') + 1);
        std::string last = path.substr(path.rfind('/') + 1);
        for (char& ch : last) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        for (const char* word : {"deep", "kept", "inside", "nïcødé"})
            if (last.find(word) != std::string::npos) expected.insert(path);
    }
    ASSERT_EQ(expected.size(), 4u);

    WorkControl work;
    const SearchResult r = searchNames(*parser, "DEEP|Kept|inSIDE|ÜNÏCØDÉ", work);
    const std::vector<std::string> paths = hitPaths(r);
    EXPECT_EQ(std::set<std::string>(paths.begin(), paths.end()), expected);
}
