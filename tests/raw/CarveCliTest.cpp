// tavrel-cli carve and rules end to end: a partition of known files carved with
// the shipped default rules and with a rule file of the test's own, the written
// files compared with the originals by SHA-256; rule files built, listed,
// extended and refused.
#include <gtest/gtest.h>

#include <map>

#include "cli/CliHelpers.h"
#include "raw/RuleTexts.h"
#include "support/CarveFiles.h"

namespace tavrel::test {
namespace {

namespace fsys = std::filesystem;

class CarveCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        volume.place("jpg", 0, makeJpeg(4000, 31));
        volume.place("png", 40960, makePng(2000, 32));
        volume.place("pdf", 1048576 - 512, makePdf(3000, 33));
        volume.place("zip", 1572864, makeZip(3000, 34));
        volume.place("wav", 2097152 + 4096, makeWav(9000, 35));
        writeFileBytes(dir / "disk.img", diskWithPartition(volume.bytes, 2048));
        writeTestRules(dir / "rules.txt");
    }

    // Runs carve with extra arguments; every found file must be a placed one,
    // written byte for byte, and every placed file found.
    void carveAndCompare(const std::string& args) {
        SCOPED_TRACE(args);
        const auto r = cli("carve " + q(dir / "disk.img") + " --volume 0 --json --out " + q(dir / "out") + " " + args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        std::map<std::string, std::string> carved, expected;
        for (const auto& line : jsonLines(r.out)) {
            if (line.contains("found")) {
                EXPECT_EQ(line["found"], volume.files.size());
                EXPECT_EQ(line["written"], volume.files.size());
                continue;
            }
            EXPECT_EQ(line["status"], "written");
            carved[line["name"].get<std::string>()] = sha256File(line["path"].get<std::string>());
        }
        for (const PlacedFile& f : volume.files)
            expected[std::to_string(f.offset) + " ." + f.extension] = sha256Of(f.bytes);
        EXPECT_EQ(carved, expected);
        fsys::remove_all(dir / "out");
    }

    CarveVolume volume{3 * 1048576};
    TempDir dir;
};

TEST_F(CarveCliTest, DefaultAndOwnRulesFindEveryFileExactly) {
    carveAndCompare("");
    carveAndCompare("--no-default-rules --rules " + q(dir / "rules.txt"));
}

TEST_F(CarveCliTest, RuleFilesBuiltListedExtendedAndRefused) {
    // A table row per rule; the built file lists the same rules back.
    std::ofstream(dir / "table") << "# comment\n"
                                    "jpg | FF,D8,FF | 0 | FF,D9 | - | - | - | no | 1000 | - | Pictures\n"
                                    "wav | 52,49,46,46 | 0 | - | 4 | 4 | 8 | no | 0 | 0 | Audio\n";
    ASSERT_EQ(cli("rules build " + q(dir / "table") + " " + q(dir / "built.txt")).exitCode, 0);
    const auto listed = cli("rules list " + q(dir / "built.txt"));
    ASSERT_EQ(listed.exitCode, 0);
    EXPECT_EQ(listed.out, "jpg | FF,D8,FF | 0 | FF,D9 | - | 0 | 0 | no | 1000 | 0 | Pictures\n"
                          "wav | 52,49,46,46 | 0 | - | 4 | 4 | 8 | no | 0 | 0 | Audio\n");
    ASSERT_EQ(cli("rules add " + q(dir / "built.txt") + " --ext gif --start 0x47,0x49,0x46 --end 0x00,0x3B").exitCode, 0);
    const auto json = jsonLines(cli("rules list --json " + q(dir / "built.txt")).out);
    ASSERT_EQ(json.size(), 3u);
    EXPECT_EQ(json[2]["extension"], "gif");
    EXPECT_EQ(json[2]["index"], 2);

    struct Row {
        const char* name;
        std::string args;
        std::string error;
    };
    std::ofstream(dir / "short.txt") << "not a rule file";
    std::ofstream(dir / "bad-table") << "jpg | FF,D8,FF | 0\n";
    const Row refusals[] = {
        {"short rule file", "carve " + q(dir / "disk.img") + " --volume 0 --no-default-rules --rules " + q(dir / "short.txt"),
         raw::texts::kInvalidFile},
        {"no rules", "carve " + q(dir / "disk.img") + " --volume 0 --no-default-rules", "no carving rules"},
        {"no volume", "carve " + q(dir / "disk.img") + " --rules " + q(dir / "rules.txt"), "choose a volume"},
        {"table with a missing field", "rules build " + q(dir / "bad-table") + " " + q(dir / "x.txt"), "line 1"},
        {"extension over 4", "rules add " + q(dir / "built.txt") + " --ext jpegx --start FF,D8", raw::texts::kExtensionTooLong},
    };
    for (const Row& row : refusals) {
        const auto r = cli(row.args);
        EXPECT_EQ(r.exitCode, 2) << row.name;
        EXPECT_NE(r.err.find(row.error), std::string::npos) << row.name << ": " << r.err;
    }
}

}  // namespace
}  // namespace tavrel::test
