// tavrel-cli carve and rules end to end: a partition of known files carved with
// the shipped default rules and with a rule file of the test's own, the written
// files compared with the originals by SHA-256; rule files built, listed,
// extended and refused.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>

#include "cli/CliHelpers.h"
#include "raw/RuleFile.h"
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

// Hostile rules and volumes: a rule of wildcards only is refused with its
// message; 1,024 starts whose end is never found write no more than the volume
// holds; a JPEG cut short is listed, written and counted as partial; a rule's
// texts are listed with their control bytes escaped as ls escapes them.
TEST(CarveCliHostile, OutputBoundedByTheVolumeAndPartialFilesMarked) {
    TempDir dir;
    EXPECT_NE(cli("rules add " + q(dir / "r.txt") + " --ext bin --start 0x2A,0x2A").err.find(
                  raw::texts::kMatchesEverySector),
              std::string::npos);
    raw::SettingsRecord wild;
    wild.extension = u"bin";
    wild.start[0] = wild.start[1] = 0x2A;
    wild.startLength = 2;
    ASSERT_EQ(raw::appendRecord((dir / "wild.txt").string(), wild), "");
    const auto refused = cli("carve " + q(dir / "wild.txt") + " --start 0 --end 7 --no-default-rules --rules " +
                             q(dir / "wild.txt"));
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find(raw::texts::kMatchesEverySector), std::string::npos) << refused.err;

    std::ofstream(dir / "table") << "bin | AB,CD | 0 | EE,FF | - | - | - | no | 52428800 | - | \x1B[31mBlobs\n"
                                    "jpg | FF,D8,FF | 0 | FF,D9 | - | - | - | no | 52428800 | - | Pictures\n";
    ASSERT_EQ(cli("rules build " + q(dir / "table") + " " + q(dir / "rules.txt")).exitCode, 0);
    const auto listed = cli("rules list " + q(dir / "rules.txt"));
    EXPECT_NE(listed.out.find("| \\x1B[31mBlobs\n"), std::string::npos) << listed.out;
    EXPECT_EQ(listed.out.find('\x1B'), std::string::npos);

    constexpr std::int64_t kVolume = 4 * 1048576;
    CarveVolume volume(kVolume);
    for (std::int64_t at = 0; at < kVolume / 2; at += 2048) volume.bytes[at] = 0xAB, volume.bytes[at + 1] = 0xCD;
    const Bytes jpeg = makeJpeg(70000, 9);
    std::size_t cut = 60000;
    while (jpeg[cut - 1] == 0) --cut;
    volume.place("jpg", 3 * 1048576, Bytes(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(cut)));
    writeFileBytes(dir / "disk.img", volume.bytes);
    const std::string args = " --start 0 --end " + std::to_string(kVolume / 512 - 1) + " --no-default-rules --rules " +
                             q(dir / "rules.txt");

    const auto text = cli("carve " + q(dir / "disk.img") + args);
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_NE(text.out.find("Pictures\t3145728 .jpg\t3145728\t" + std::to_string(cut) + "\tpartial\n"),
              std::string::npos);
    EXPECT_NE(text.out.find("1025 files found (1 partial)\n"), std::string::npos);
    EXPECT_EQ(text.out.find('\x1B'), std::string::npos);

    const auto r = cli("carve " + q(dir / "disk.img") + args + " --json --out " + q(dir / "out"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::int64_t bytes = 0, blocks = 0, files = 0;
    for (const auto& line : jsonLines(r.out)) {
        if (line.contains("found")) {
            EXPECT_EQ(line["found"], 1025);
            EXPECT_EQ(line["partial"], 1);
            EXPECT_EQ(line["written"], 1025);
            continue;
        }
        EXPECT_EQ(line["partial"], line["name"] == "3145728 .jpg");
        struct stat st {};
        ASSERT_EQ(::stat(line["path"].get<std::string>().c_str(), &st), 0);
        bytes += st.st_size;
        blocks += st.st_blocks;
        ++files;
    }
    EXPECT_EQ(files, 1025);
    EXPECT_LE(bytes, kVolume);
    // Each file takes at most one file-system block more than its bytes.
    EXPECT_LE(blocks * 512, kVolume + files * 4096);
}

}  // namespace
}  // namespace tavrel::test
