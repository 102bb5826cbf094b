// The condition of deleted files on the command line, over the volumes made
// for the condition test (tests/fixtures/condition): O overwritten, A partly
// overwritten, U intact. `ls --condition` keeps one condition, `ls --json`
// carries the words and counts, `recover --json` counts the deleted files it
// wrote completely per condition.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli/CliHelpers.h"

using namespace tavrel::test;

namespace {

struct CliCase {
    const char* fixture;
    const char* treatAs;
    const char* intactLine;  // the one line of `ls --deleted --condition intact`
    std::int64_t intactClusters;
    int partlyWritten;  // FAT: A's first cluster now starts N's chain, which its save follows and finds short
};

const CliCase kCases[] = {
    {"condition/fat32-reused.img.xz", "FAT32", "f * intact 30000 \xCF\x83.TXT", 59, 0},
    {"condition/ntfs-reused.img.xz", "NTFS", "f * intact 30000 U.txt", 8, 1},
};

class ConditionCli : public ::testing::TestWithParam<CliCase> {};

TEST_P(ConditionCli, FilterJsonAndRecoverCounts) {
    const CliCase& c = GetParam();
    const auto image = unpackedFixture(c.fixture);
    const std::string volume = q(image) + " --start 0 --end " +
                               std::to_string(std::filesystem::file_size(image) / 512 - 1) + " --treat-as " +
                               c.treatAs;

    const auto intact = cli("ls " + volume + " --deleted --condition intact");
    ASSERT_EQ(intact.exitCode, 0) << intact.err;
    EXPECT_EQ(intact.out, std::string(c.intactLine) + "\n");
    const auto partly = cli("ls " + volume + " --deleted --condition 'partly overwritten' --json");
    ASSERT_EQ(jsonLines(partly.out).size(), 1u) << partly.out;
    const auto p = jsonLines(partly.out).front();
    EXPECT_EQ(p.at("condition"), "partly overwritten");
    EXPECT_GT(p.at("reused_clusters").get<std::int64_t>(), 0);
    EXPECT_LT(p.at("reused_clusters").get<std::int64_t>(), p.at("clusters").get<std::int64_t>());
    const auto whole = cli("ls " + volume + " --deleted --condition intact --json");
    ASSERT_EQ(jsonLines(whole.out).size(), 1u);
    EXPECT_EQ(jsonLines(whole.out).front().at("clusters"), c.intactClusters);
    EXPECT_NE(cli("ls " + volume + " --condition partly").exitCode, 0);

    TempDir out;
    const auto saved = cli("recover " + volume + " --json --out " + q(out.path() / "all"));
    const auto lines = jsonLines(saved.out);
    ASSERT_FALSE(lines.empty()) << saved.err;
    const auto& counts = lines.back().at("deleted_by_condition");
    EXPECT_EQ(counts.at("intact"), 1);
    EXPECT_EQ(counts.at("partly overwritten"), c.partlyWritten);
    EXPECT_EQ(counts.at("overwritten"), 1);
    EXPECT_EQ(counts.at("unknown"), 0);
}

INSTANTIATE_TEST_SUITE_P(Volumes, ConditionCli, ::testing::ValuesIn(kCases));

}  // namespace
