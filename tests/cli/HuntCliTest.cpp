// tavrel-cli hunt and the Advanced mode of ls/recover, on a raw NTFS volume that
// mkntfs formatted over an older one with another cluster size: the hunt lists
// both MFTs, and recovering from either gives back the files that were copied
// into that format, checked by their hashes.
#include <gtest/gtest.h>

#include <random>

#include "cli/CliHelpers.h"

using namespace tavrel::test;

TEST(HuntCli, ListsEveryMftAndRecoversFromTheChosenOne) {
    TempDir dir;
    std::mt19937 random(11);
    for (const auto& [name, size] : {std::pair{"old.bin", 120000}, std::pair{"new.bin", 30000}}) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
        for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
        writeFileBytes(dir / name, bytes);
    }
    const auto image = dir / "volume.img";
    if (!makeReformattedNtfs(image, {{dir / "old.bin", "old.bin"}}, {{dir / "new.bin", "new.bin"}}))
        GTEST_SKIP() << "mkntfs and ntfscp are needed";
    const std::string volume = q(image) + " --start 0 --end 32767 --treat-as NTFS";

    const auto hunt = cli("hunt " + volume + " --json");
    ASSERT_EQ(hunt.exitCode, 0) << hunt.err;
    const auto found = jsonLines(hunt.out);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].at("item"), "MFT_ENTRY:0");
    EXPECT_EQ(found[0].at("offset"), 16384);
    EXPECT_EQ(found[1].at("offset"), 131072);
    EXPECT_EQ(found[1].at("cluster_size"), 65536);
    EXPECT_EQ(cli("hunt " + volume + " --max 1").out, "MFT_ENTRY:0 16384 4096\n");

    const struct {
        int candidate;
        const char *kept, *gone;
    } cases[] = {{0, "new.bin", "old.bin"}, {1, "old.bin", "new.bin"}};
    for (const auto& c : cases) {
        TempDir out;
        const auto r = cli("recover " + volume + " --mode advanced --candidate " + std::to_string(c.candidate) +
                           " --out " + q(out.path()));
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const auto hashes = hashesBelow(out.path());
        EXPECT_EQ(hashes.count(c.gone), 0u);
        ASSERT_EQ(hashes.count(c.kept), 1u) << c.kept;
        EXPECT_EQ(hashes.at(c.kept), sha256File(dir / c.kept));
    }
    const auto beyond = cli("ls " + volume + " --mode advanced --candidate 5");
    EXPECT_EQ(beyond.exitCode, 2);
    EXPECT_NE(beyond.err.find("no candidate 5 (2 found"), std::string::npos) << beyond.err;
    EXPECT_EQ(cli("ls " + volume + " --candidate 1").exitCode, 2);  // needs --mode advanced
}
