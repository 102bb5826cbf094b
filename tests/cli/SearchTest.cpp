// tavrel-cli search on the committed fixtures: the live hits are exactly the
// files the fixture maker wrote whose names hold one of the words, and every
// hit is printed as ls prints it.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

#include "browse/NameSearch.h"
#include "cli/CliHelpers.h"
#include "support/RecycleInfo.h"

using namespace tavrel::test;

namespace {

std::vector<std::string> outputLines(const std::string& out) {
    std::vector<std::string> v;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) v.push_back(line);
    return v;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

TEST(CliSearch, LiveHitsAreTheWrittenFilesWhoseNamesHoldAWord) {
    const std::vector<std::string> words = {"report", "readme", "number-11"};
    for (const std::string fixture : {"fat32-512", "exfat"}) {
        SCOPED_TRACE(fixture);
        // "<sha> <time> <path>" per written file.
        std::set<std::string> expected;
        std::ifstream files(fixturePath("fat/" + fixture + ".files"));
        for (std::string line; std::getline(files, line);) {
            const std::string path = line.substr(line.find(' ', line.find(' ') + 1) + 1);
            const std::string last = lower(path.substr(path.rfind('/') + 1));
            for (const auto& w : words)
                if (last.find(w) != std::string::npos) expected.insert(path);
        }
        ASSERT_GE(expected.size(), 3u);

        const std::string volume = q(unpackedFixture("fat/" + fixture + ".vhd.xz")) + " --volume 0";
        const auto r = cli("search " + volume + " 'REPORT|ReadMe|number-11'");
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const auto hits = outputLines(r.out);
        std::set<std::string> live;
        for (const auto& line : hits)
            if (line.rfind("f - - ", 0) == 0) live.insert(line.substr(line.find(' ', 6) + 1));
        EXPECT_EQ(live, expected);

        // Each hit is a line of the full listing, in the listing's order.
        const auto full = outputLines(cli("ls " + volume).out);
        auto at = full.begin();
        for (const auto& line : hits) {
            at = std::find(at, full.end(), line);
            EXPECT_NE(at, full.end()) << line;
        }
        const auto json = jsonLines(cli("search " + volume + " --json 'report|readme|NUMBER-11'").out);
        EXPECT_EQ(json.size(), hits.size());
    }
}

TEST(CliSearch, RefusedPatternEndsWithTheMessage) {
    const std::string volume = q(unpackedFixture("fat/fat16.vhd.xz")) + " --volume 0";
    const auto r = cli("search " + volume + " '*.jpg'");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find(tavrel::browse::texts::kSearchRefused), std::string::npos) << r.err;
}

TEST(CliSearch, RecycledFilesAreListedAndFoundUnderTheirFormerNames) {
    TempDir tmp;
    const auto img = makeFat32RecycleBin(tmp);
    if (img.empty()) GTEST_SKIP() << "needs mkfs.fat and mtools";
    const std::string volume = q(img) + " --start 0 --end 81919 --treat-as FAT32";
    const std::string user = kRecycleUser;
    const auto r = cli("search " + volume + " 'plan|ANNUAL|bad00'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // In directory order; the damaged control file's "$R" file keeps its name.
    EXPECT_EQ(outputLines(r.out), (std::vector<std::string>{"f - - 4 " + user + "/plan.txt",
                                                            "f - - 4 " + user + "/Annual report.docx",
                                                            "f - - 10 " + user + "/$IBAD00.txt",
                                                            "f - - 4 " + user + "/$RBAD00.txt"}));
}
