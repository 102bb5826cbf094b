// tavrel-cli ls/recover end to end on the NTFS fixtures (made by mkfs.ntfs and
// ntfs-3g), checked against the fixtures' oracle listing: fls paths and icat
// hashes.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "cli/CliHelpers.h"

using namespace tavrel::test;
namespace fsys = std::filesystem;

namespace {

bool underSystemFolder(const std::string& path) { return !path.empty() && path[0] == '$'; }

std::string baseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

TEST(NtfsCli, EveryFixtureListsAndRecoversTheOracleFiles) {
    const auto fixtures = fixturesWith("ntfs", ".expected");
    int checked = 0;
    for (const auto& name : fixtures) {
        SCOPED_TRACE(name);
        const auto oracle = readOracle(name);
        if (oracle.empty()) continue;  // the fixture's oracle is still being made
        std::ifstream offsetFile(fixturePath("ntfs/" + name + ".offset"));
        std::int64_t offset = 0;
        if (!(offsetFile >> offset)) continue;
        const auto image = unpackedFixture("ntfs/" + name + ".vhd.xz");
        const std::string imageSha = sha256File(image);
        // The volume is found through the disk's own table (MBR or GPT).
        const auto volumes = jsonLines(cli("volumes --json " + q(image)).out);
        ASSERT_EQ(volumes.size(), 1u);
        EXPECT_EQ(volumes[0].at("start").get<std::int64_t>(), offset);
        EXPECT_EQ(volumes[0].at("fs").get<std::string>(), "NTFS");
        const std::string volume = " --volume 0";

        // The text listing ("d|f *|- SIZE PATH") is parsed here; the JSON form is
        // covered by the FAT tests and is slow to parse under the sanitizers.
        const auto ls = cli("ls " + q(image) + volume);
        if (ls.exitCode == 2 && ls.err.find("no parser") != std::string::npos) {
            std::cout << "skipping " << name << ": " << ls.err;
            continue;
        }
        ASSERT_EQ(ls.exitCode, 0) << ls.err;
        std::set<std::string> liveDirs, liveFiles, deletedNames;
        {
            std::istringstream lines(ls.out);
            std::string line;
            while (std::getline(lines, line)) {
                ASSERT_GE(line.size(), 6u) << line;
                const auto pathAt = line.find(' ', line.find(' ', 4) + 1);  // after "f * CONDITION SIZE"
                ASSERT_NE(pathAt, std::string::npos) << line;
                const std::string path = line.substr(pathAt + 1);
                if (line[2] == '*') {
                    deletedNames.insert(baseName(path));
                } else {
                    (line[0] == 'd' ? liveDirs : liveFiles).insert(path);
                }
            }
        }
        for (const auto& o : oracle) {
            if (!o.deleted) {
                EXPECT_TRUE((o.kind == 'd' ? liveDirs : liveFiles).count(o.path)) << "live entry not listed: " << o.path;
            } else {
                // A deleted entry may sit below its old folder or below ORPHAN_ENTRY.
                EXPECT_TRUE(deletedNames.count(baseName(o.path))) << "deleted entry not listed: " << o.path;
            }
        }

        TempDir out;
        const auto r = cli("recover " + q(image) + volume + " --out " + q(out.path()));
        EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 1) << r.err;
        EXPECT_NE(r.out.find(" files written, "), std::string::npos) << r.out;
        const auto hashes = hashesBelow(out.path());
        for (const auto& o : oracle) {
            if (o.deleted || o.kind != 'r' || o.sha == "-" || underSystemFolder(o.path)) continue;
            const auto it = hashes.find(o.path);
            ASSERT_NE(it, hashes.end()) << "not recovered: " << o.path;
            EXPECT_EQ(it->second, o.sha) << o.path;
        }
        // "$BadClus" is never written.
        EXPECT_FALSE(fsys::exists(out / "$BadClus"));
        EXPECT_EQ(sha256File(image), imageSha);
        ++checked;
    }
    if (checked == 0) GTEST_SKIP() << "no NTFS fixture with an oracle and a parser yet";
}
