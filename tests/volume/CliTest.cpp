// tavrel-cli volumes and export, run as a user would.
#include <gtest/gtest.h>

#include <sstream>

#include <nlohmann/json.hpp>

#include "support/TestSupport.h"
#include "volume/VolumeFixtures.h"

namespace tavrel {
namespace {

using namespace test;

CommandResult cli(const std::string& args) { return runCommand(shellQuote(cliPath()) + " " + args); }

std::string q(const std::filesystem::path& p) { return shellQuote(p.string()); }

// `volumes --json` prints one object per volume and line.
std::vector<nlohmann::json> volumeLines(const std::string& out) {
    std::vector<nlohmann::json> rows;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line))
        if (!line.empty()) rows.push_back(nlohmann::json::parse(line));
    return rows;
}

TEST(CliVolumes, TableAsTheVolumeListShowsIt) {
    const auto r = cli("volumes " + q(fixtureVhd("mbr.vhd")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "VOLUME  FILE_SYSTEM  VOLUME_SIZE  START_SECTOR\n"
              "0       FAT32        34   MB      2048\n"
              "1       NTFS         16   MB      71680\n"
              "2       FAT64        8   MB       104448\n"
              "3       FAT16        16   MB      122880\n"
              "4       extX         8   MB       157696\n"
              "5       NTFS         8   MB       176128\n");
    EXPECT_EQ(r.err, "");  // no progress bar when stderr is not a terminal
}

TEST(CliVolumes, JsonAndTheGptDefault) {
    const auto r = cli("volumes --json " + q(fixtureVhd("gpt.vhd")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto j = volumeLines(r.out);
    ASSERT_EQ(j.size(), kGptVolumes.size());
    for (std::size_t i = 0; i < kGptVolumes.size(); ++i) {
        EXPECT_EQ(j[i]["volume"], i);
        EXPECT_EQ(j[i]["fs"], kGptVolumes[i].fsName);
        EXPECT_EQ(j[i]["size_text"], kGptVolumes[i].sizeText);
        EXPECT_EQ(j[i]["start"], kGptVolumes[i].start);
    }
    const auto mbr = volumeLines(cli("volumes --json --no-gpt " + q(fixtureVhd("gpt.vhd"))).out);
    ASSERT_EQ(mbr.size(), 1u);
    EXPECT_EQ(mbr[0]["fs"], "Unknown");
    // --gpt on an MBR disk finds no GPT entries.
    EXPECT_EQ(volumeLines(cli("volumes --json --gpt " + q(fixtureVhd("mbr.vhd"))).out).size(), 0u);
}

TEST(CliVolumes, AdvancedWithRangeAndNoSkip) {
    const auto r = cli("volumes --json --advanced --no-skip --start 2048 --end 2100 " + q(fixtureVhd("mbr.vhd")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto j = volumeLines(r.out);
    // The FAT32 backup boot sector at 2054 is not a volume of its own.
    ASSERT_EQ(j.size(), 1u);
    EXPECT_EQ(j[0]["start"], 2048);
    EXPECT_EQ(j[0]["fs"], "FAT32");
}

TEST(CliVolumes, BadInputs) {
    TempDir dir;
    auto r = cli("volumes " + q(dir / "missing.vhd"));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    writeFileBytes(dir / "junk.vhd", std::vector<std::uint8_t>(4000, 0x41));  // not whole sectors: no raw disk either
    r = cli("volumes " + q(dir / "junk.vhd"));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("Not a valid vhd file"), std::string::npos) << r.err;
    EXPECT_EQ(cli("volumes --no-skip " + q(fixtureVhd("mbr.vhd"))).exitCode, 2);  // needs --advanced
    EXPECT_EQ(cli("volumes --gpt --no-gpt " + q(fixtureVhd("mbr.vhd"))).exitCode, 2);
    EXPECT_EQ(cli("volumes --advanced --start -5 " + q(fixtureVhd("mbr.vhd"))).exitCode, 2);
}

TEST(CliExport, WritesByTheNamingRuleAndPrintsThePath) {
    TempDir dir;
    const auto image = fixtureVhd("mbr.vhd");
    auto r = cli("export " + q(image) + " " + q(dir.path()));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, (dir / "mbr.vhd.img").string() + "\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(std::filesystem::file_size(dir / "mbr.vhd.img"), 100u * 1048576u);
    r = cli("export " + q(image) + " " + q(dir.path()));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, (dir / "1mbr.vhd.img").string() + "\n");
    EXPECT_EQ(sha256File(dir / "mbr.vhd.img"), sha256File(dir / "1mbr.vhd.img"));
}

TEST(CliExport, BadInputs) {
    TempDir dir;
    EXPECT_EQ(cli("export " + q(dir / "missing.vhd") + " " + q(dir.path())).exitCode, 2);
    const auto r = cli("export " + q(fixtureVhd("mbr.vhd")) + " " + q(dir / "no-such-folder"));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("not a folder"), std::string::npos);
    EXPECT_EQ(cli("export " + q(fixtureVhd("mbr.vhd"))).exitCode, 2);
}

}  // namespace
}  // namespace tavrel
