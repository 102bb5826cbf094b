// tavrel-cli ls/recover end to end on the ext fixtures (made by mkfs.ext* -d
// and debugfs), checked against the fixtures' record of the original files:
// their SHA-256 and modification time.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>

#include "cli/CliHelpers.h"

using namespace tavrel::test;
namespace fsys = std::filesystem;

TEST(ExtCli, EveryFixtureListsAndRecoversItsOriginalFiles) {
    const auto fixtures = fixturesWith("ext", ".files");
    ASSERT_FALSE(fixtures.empty());
    for (const auto& name : fixtures) {
        SCOPED_TRACE(name);
        const auto image = unpackedFixture("ext/" + name + ".vhd.xz");
        std::map<std::string, std::pair<std::string, std::int64_t>> originals;
        std::ifstream in(fixturePath("ext/" + name + ".files"));
        for (std::string sha, path; in >> sha;) {
            std::int64_t mtime = 0;
            in >> mtime;
            std::getline(in >> std::ws, path);
            originals[path] = {sha, mtime};
        }
        ASSERT_GT(originals.size(), 150u);

        // ls: the originals are the live files; the deleted ones are flagged.
        const auto ls = cli("ls " + q(image) + " --volume 0 --json");
        ASSERT_EQ(ls.exitCode, 0) << ls.err;
        const auto rows = parseLsJson(ls.out);
        std::set<std::string> live;
        for (const auto& [path, row] : rows)
            if (row.at("type") == "file" && !row.at("deleted").get<bool>() && path != "link-to-readme")
                live.insert(path);
        std::set<std::string> expected;
        for (const auto& [path, o] : originals) expected.insert(path);
        EXPECT_EQ(live, expected);
        for (const char* gone : {"GONE.TXT", "trash", "trash/one.txt", "docs/old-draft.txt"}) {
            ASSERT_EQ(rows.count(gone), 1u) << gone;
            EXPECT_TRUE(rows.find(gone)->second.at("deleted").get<bool>()) << gone;
        }

        // recover: every original with its content and modification time.
        TempDir out;
        const auto r = cli("recover " + q(image) + " --volume 0 --out " + q(out.path()));
        EXPECT_NE(r.out.find(" files written"), std::string::npos) << r.out << r.err;
        const auto hashes = hashesBelow(out.path());
        for (const auto& [path, o] : originals) {
            EXPECT_EQ(hashes.count(path) ? hashes.at(path) : "", o.first) << path;
            struct stat st {};
            ASSERT_EQ(::stat((out.path() / path).c_str(), &st), 0) << path;
            EXPECT_EQ(st.st_mtim.tv_sec, o.second) << path;
        }
        EXPECT_EQ(readFileBytes(out.path() / "trash/one.txt").size(), 333u);
    }
}
