// Deep mode on FAT16, FAT32 and exFAT volumes where a deleted folder's own
// slots were reused, so no walk from the root reaches it
// (tests/fixtures/fat/make-orphan-fixtures.sh). The oracle is what The Sleuth
// Kit's tsk_recover -e extracted from the same volume: Deep mode must recover
// every one of those files with the same bytes, the lost ones under
// "ORPHAN ENTRY", while the standard walk does not reach them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "support/TestSupport.h"

using namespace tavrel::test;
namespace fsys = std::filesystem;

namespace {

struct Recovered {
    std::multiset<std::string> all;     // sha256 of every file written
    std::multiset<std::string> orphan;  // ... of those under "ORPHAN ENTRY"
};

Recovered recover(const fsys::path& vhd, const char* mode, const TempDir& dir) {
    const fsys::path out = dir / mode;
    const auto r = runCommand(shellQuote(cliPath()) + " recover --volume 0 --mode " + mode + " --out " +
                              shellQuote(out.string()) + " " + shellQuote(vhd.string()));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    Recovered got;
    if (!fsys::exists(out)) return got;
    for (const auto& f : fsys::recursive_directory_iterator(out)) {
        if (!f.is_regular_file()) continue;
        const std::string sha = sha256File(f.path());
        got.all.insert(sha);
        if (fsys::relative(f.path(), out).begin()->string() == "ORPHAN ENTRY") got.orphan.insert(sha);
    }
    return got;
}

}  // namespace

TEST(FatDeep, RecoversEveryFileTheOracleRecoversFromUnreachedFolders) {
    for (const char* name : {"fat16-orphan", "fat32-orphan", "exfat-orphan"}) {
        SCOPED_TRACE(name);
        const auto vhd = unpackedFixture(std::string("fat/") + name + ".vhd.xz");
        std::ifstream oracle(fixturePath(std::string("fat/") + name + ".tsk"));
        ASSERT_TRUE(oracle);
        TempDir dir;
        const Recovered deep = recover(vhd, "deep", dir);
        const Recovered standard = recover(vhd, "standard", dir);
        std::string sha, path;
        int orphans = 0;
        while (oracle >> sha && std::getline(oracle >> std::ws, path)) {
            // The oracle also extracts the exFAT bitmap and up-case table as files.
            if (path[0] == '$' && path.rfind("$OrphanFiles/", 0) != 0) continue;
            SCOPED_TRACE(path);
            EXPECT_TRUE(deep.all.count(sha));
            if (path.rfind("$OrphanFiles/", 0) == 0) {
                ++orphans;
                EXPECT_TRUE(deep.orphan.count(sha));
                EXPECT_FALSE(standard.all.count(sha));
            }
        }
        EXPECT_EQ(orphans, 3);
        // Nothing the tree reaches is listed a second time.
        EXPECT_EQ(deep.all.size() - deep.orphan.size(), standard.all.size());
    }
}
