// Exit codes and messages of ls/recover on bad input: 2 for bad arguments,
// a missing or unreadable image, no such volume, a kind without a parser.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "cli/CliHelpers.h"

using namespace tavrel::test;
namespace fsys = std::filesystem;

TEST(CliErrors, BadArgumentsAndUnreadableImagesExitWithTwo) {
    TempDir tmp;
    const auto missing = tmp / "missing.vhd";
    auto r = cli("ls " + q(missing) + " --volume 0");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("missing.vhd"), std::string::npos);

    const auto junk = tmp / "junk.vhd";
    writeFileBytes(junk, std::vector<std::uint8_t>(4000, 0x5A));  // not whole sectors: no raw disk either
    r = cli("recover " + q(junk) + " --volume 0 --out " + q(tmp / "o"));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("Not a valid vhd file"), std::string::npos) << r.err;
    EXPECT_FALSE(fsys::exists(tmp / "o"));

    // Option errors are caught by the parser of the command line.
    EXPECT_EQ(cli("ls " + q(junk)).exitCode, 2);                                      // no volume
    EXPECT_EQ(cli("ls " + q(junk) + " --start 5").exitCode, 2);                       // --start alone
    EXPECT_EQ(cli("ls " + q(junk) + " --volume 0 --start 5 --end 9").exitCode, 2);   // both forms
    EXPECT_EQ(cli("ls " + q(junk) + " --volume 0 --mode fast").exitCode, 2);
    EXPECT_EQ(cli("recover " + q(junk) + " --volume 0").exitCode, 2);                 // no --out
}

TEST(CliErrors, VolumeChoiceErrorsExitWithTwo) {
    if (!fsys::exists(fixturePath("fat/fat16.vhd.xz"))) GTEST_SKIP() << "no FAT16 fixture";
    const auto image = unpackedFixture("fat/fat16.vhd.xz");
    TempDir tmp;

    auto r = cli("ls " + q(image) + " --volume 7");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("no volume 7"), std::string::npos) << r.err;

    r = cli("ls " + q(image) + " --volume 0 --treat-as BOGUS");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("not a valid drive."), std::string::npos) << r.err;

    r = cli("ls " + q(image) + " --volume 0 --treat-as RAW");
    EXPECT_EQ(r.exitCode, 2);

    // A custom volume whose end lies far past the disk is read up to the disk's
    // end, with a warning (no overflow of the sector arithmetic).
    r = cli("ls " + q(image) + " --start 2048 --end 9000000000000000000");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("reaches past the end of the disk"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("README"), std::string::npos);

    // Sectors with no boot record, and sectors beyond the disk.
    r = cli("ls " + q(image) + " --start 10 --end 2000");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("not a valid drive."), std::string::npos) << r.err;
    r = cli("ls " + q(image) + " --start 99999999 --end 999999999");
    EXPECT_EQ(r.exitCode, 2);
    r = cli("ls " + q(image) + " --start 4000 --end 3000");
    EXPECT_EQ(r.exitCode, 2);

    // A FAT32 parser rejects the FAT16 volume: its own text and where, on one line.
    const std::string asFat32 = q(image) + " --volume 0 --treat-as FAT32";
    for (const std::string& command :
         {"ls " + asFat32, "cat " + asFat32 + " README", "recover " + asFat32 + " --out " + q(tmp / "o")}) {
        r = cli(command);
        EXPECT_EQ(r.exitCode, 2) << command;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find("Fat32 Format (at volume byte offset 0)"), std::string::npos) << r.err;
    }

    // An output "folder" that is a file cannot be used.
    std::ofstream(tmp / "file") << "x";
    r = cli("recover " + q(image) + " --volume 0 --out " + q(tmp / "file"));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("output folder"), std::string::npos) << r.err;
}
