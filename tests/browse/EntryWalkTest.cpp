#include <gtest/gtest.h>

#include "browse/EntryWalk.h"
#include "browse/FakeParser.h"

using namespace tavrel;
using namespace tavrel::browse;
using tavrel::test::FakeParser;

TEST(EntryWalk, ListsDepthFirstInTreeOrderAndFindsPaths) {
    FakeParser p;
    const auto docs = p.folder(0, "docs");
    const auto x = p.file(docs, "x.txt", "1");
    const auto odd = p.folder(0, "a/b");  // a name holding the separator
    const auto inOdd = p.file(odd, "c", "2");
    const auto gone = p.file(docs, "x.txt", "old", true);
    const auto dot = p.folder(0, ".");
    p.node(dot).noEnter = true;
    p.node(dot).children = {docs};

    std::vector<std::string> listed;
    walkTree(p, std::nullopt, [&](fs::EntryRef, const std::vector<std::string>& path) {
        listed.push_back(joinPath(path));
        return true;
    });
    EXPECT_EQ(listed, (std::vector<std::string>{"docs", "docs/x.txt", "docs/x.txt", "a/b", "a/b/c", "."}));

    EXPECT_EQ(findByPath(p, "docs/x.txt"), (std::vector<fs::EntryRef>{x, gone}));
    EXPECT_EQ(findByPath(p, "/a/b/c"), (std::vector<fs::EntryRef>{inOdd}));
    EXPECT_EQ(findByPath(p, "docs/"), (std::vector<fs::EntryRef>{docs}));
    EXPECT_TRUE(findByPath(p, "docs/missing").empty());
    EXPECT_EQ(parentsOf(p, inOdd), (std::vector<fs::EntryRef>{odd}));
    EXPECT_EQ(parentsOf(p, docs), (std::vector<fs::EntryRef>{}));
}

TEST(EntryWalk, NestingIsBounded) {
    // A damaged tree can chain folders without end; walks stop at the limit.
    FakeParser p;
    fs::EntryRef at = 0;
    for (int i = 0; i < kMaxWalkDepth + 50; ++i) at = p.folder(at, "d");
    p.file(at, "too-deep.txt", "x");
    std::size_t listed = 0;
    std::size_t deepest = 0;
    walkTree(p, std::nullopt, [&](fs::EntryRef, const std::vector<std::string>& path) {
        ++listed;
        deepest = std::max(deepest, path.size());
        return true;
    });
    EXPECT_EQ(listed, static_cast<std::size_t>(kMaxWalkDepth) + 1);
    EXPECT_EQ(deepest, static_cast<std::size_t>(kMaxWalkDepth) + 1);
    EXPECT_TRUE(findByPath(p, "d/d/d").size() == 1u);
}
