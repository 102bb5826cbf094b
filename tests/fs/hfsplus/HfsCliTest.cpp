// tavrel-cli on HFS+ volumes: the fixture inside the GPT test disk (Apple HFS
// partition) and inside raw disks made here (MBR type 0xAF, or no table at all
// and an HFSX signature), listed and recovered in the standard and the deep
// mode, against The Sleuth Kit's listing and icat hashes.
#include <gtest/gtest.h>

#include "fs/hfsplus/HfsFixture.h"
#include "support/TestSupport.h"

using namespace tavrel::test;
using namespace tavrel::test::hfs;

namespace {

CommandResult cli(const std::string& args) { return runCommand(shellQuote(cliPath()) + " " + args); }
std::string q(const std::filesystem::path& p) { return shellQuote(p.string()); }

bool plainPath(const std::string& path) { return path.find('^') == std::string::npos; }

// A raw disk holding the fixture volume at sector 2048, behind an MBR entry of
// the given type (none when 0), with the volume header's signature replaced.
std::filesystem::path rawDisk(const TempDir& dir, std::uint8_t mbrType, const char* signature) {
    std::vector<std::uint8_t> disk(2048 * 512);
    std::vector<std::uint8_t> volume = volumeBytes();
    volume[1024] = static_cast<std::uint8_t>(signature[0]);
    volume[1025] = static_cast<std::uint8_t>(signature[1]);
    const std::uint32_t sectors = static_cast<std::uint32_t>(volume.size() / 512);
    if (mbrType != 0) {
        disk[446 + 4] = mbrType;
        for (int i = 0; i < 4; ++i) {
            disk[446 + 8 + i] = static_cast<std::uint8_t>(2048u >> (8 * i));
            disk[446 + 12 + i] = static_cast<std::uint8_t>(sectors >> (8 * i));
        }
    }
    disk[510] = 0x55;
    disk[511] = 0xAA;
    disk.insert(disk.end(), volume.begin(), volume.end());
    const auto path = dir / "disk.raw";
    writeFileBytes(path, disk);
    return path;
}

struct CliCase {
    const char* name;
    std::uint8_t mbrType;   // the MBR entry's type; 0: no entry (the GPT disk unless `scan` is set)
    const char* signature;
    const char* scan;       // how the volumes are found: "" (the tables) or "--advanced"
    const char* mode;
};

const CliCase kCases[] = {
    {"gpt_standard", 0, "H+", "", "standard"},
    {"gpt_deep", 0, "H+", "", "deep"},
    {"mbr_type_af", 0xAF, "H+", "", "standard"},
    {"hfsx_found_by_the_sector_scan", 0x00, "HX", "--advanced", "deep"},
};

class HfsCli : public ::testing::TestWithParam<CliCase> {};

TEST_P(HfsCli, ListsAndRecoversWhatTheSleuthKitSees) {
    TempDir dir;
    const CliCase& c = GetParam();
    const bool gpt = c.mbrType == 0 && std::string(c.scan).empty();
    const auto image = gpt ? unpackedFixture("volume/gpt.vhd.xz") : rawDisk(dir, c.mbrType, c.signature);
    const auto volumes = cli("volumes " + q(image) + " " + c.scan);
    ASSERT_EQ(volumes.exitCode, 0) << volumes.err;
    EXPECT_NE(volumes.out.find("HFS+"), std::string::npos) << volumes.out;

    // The GPT disk's sixth volume; the raw disks hold only this one.
    const std::string args = q(image) + (gpt ? " --volume 5 " : " --volume 0 ") + c.scan + " --mode " + c.mode;
    const auto ls = cli("ls " + args);
    ASSERT_EQ(ls.exitCode, 0) << ls.err;
    const auto expected = oracle();
    for (const auto& [path, want] : expected) {
        if (!plainPath(path)) continue;
        EXPECT_NE(ls.out.find(" " + path + "\n"), std::string::npos) << path << "\n" << ls.out;
    }

    const auto out = dir / "out";
    const auto r = cli("recover " + args + " --out " + q(out));
    ASSERT_EQ(r.exitCode, 0) << r.err << r.out;
    for (const auto& [path, want] : expected) {
        if (want.type == 'd' || !plainPath(path)) continue;
        EXPECT_EQ(sha256File(out / path), want.sha) << path;
    }
}

INSTANTIATE_TEST_SUITE_P(Disks, HfsCli, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
