// tavrel-cli ls/recover end to end on the FAT fixtures (made by mkfs.fat and
// mtools), checked against the fixtures' record of the original files: their
// SHA-256 and modification time.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <set>
#include <sstream>

#include "cli/CliHelpers.h"

using namespace tavrel::test;
namespace fsys = std::filesystem;

namespace {

struct OriginalFile {
    std::string sha;
    std::int64_t mtime = 0;
};

// "<sha256> <mtime> <path>" per line.
std::map<std::string, OriginalFile> readOriginals(const std::string& fixture) {
    std::map<std::string, OriginalFile> files;
    std::ifstream in(fixturePath("fat/" + fixture + ".files"));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        OriginalFile f;
        fields >> f.sha >> f.mtime;
        std::string path;
        std::getline(fields >> std::ws, path);
        if (!path.empty()) files[path] = f;
    }
    return files;
}

}  // namespace

TEST(FatCli, EveryFixtureListsAndRecoversItsOriginalFiles) {
    const auto fixtures = fixturesWith("fat", ".files");
    if (fixtures.empty()) GTEST_SKIP() << "no FAT fixtures committed yet";
    for (const auto& name : fixtures) {
        SCOPED_TRACE(name);
        const auto image = unpackedFixture("fat/" + name + ".vhd.xz");
        const auto originals = readOriginals(name);
        ASSERT_FALSE(originals.empty());
        const std::string imageSha = sha256File(image);

        // ls: exactly the original files are live files, with their sizes.
        const auto ls = cli("ls " + q(image) + " --volume 0 --json");
        if (ls.exitCode == 2 && ls.err.find("no parser") != std::string::npos) {
            std::cout << "skipping " << name << ": " << ls.err;
            continue;
        }
        ASSERT_EQ(ls.exitCode, 0) << ls.err;
        const auto rows = parseLsJson(ls.out);
        std::set<std::string> live;
        for (const auto& [path, row] : rows) {
            EXPECT_TRUE(row.at("type") == "dir" || row.at("type") == "file");
            if (row.at("type") == "file" && !row.at("deleted").get<bool>()) live.insert(path);
        }
        std::set<std::string> expected;
        for (const auto& [path, f] : originals) expected.insert(path);
        EXPECT_EQ(live, expected);

        // recover: every original file with its content and modification time.
        TempDir out;
        const auto r = cli("recover " + q(image) + " --volume 0 --out " + q(out.path()));
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find(" files written, 0 failed"), std::string::npos) << r.out;
        const auto hashes = hashesBelow(out.path());
        for (const auto& [path, f] : originals) {
            const auto file = out.path() / path;
            ASSERT_TRUE(fsys::is_regular_file(file)) << path;
            EXPECT_EQ(hashes.count(path) ? hashes.at(path) : "", f.sha) << path;
            struct stat st {};
            ASSERT_EQ(::stat(file.c_str(), &st), 0);
            EXPECT_EQ(st.st_mtim.tv_sec, f.mtime) << path;
        }
        // Deleted files are written too, and nothing else.
        std::size_t files = 0;
        for (const auto& [path, row] : rows) files += row.at("type") == "file";
        EXPECT_EQ(filesBelow(out.path()).size(), files);
        EXPECT_NE(r.out.find(std::to_string(files) + " files written"), std::string::npos) << r.out;

        // The image is evidence: never written.
        EXPECT_EQ(sha256File(image), imageSha);
    }
}

TEST(FatCli, TextListingAndCustomVolumeAgreeWithTheListedVolume) {
    if (!fsys::exists(fixturePath("fat/fat16.vhd.xz"))) GTEST_SKIP() << "no FAT16 fixture";
    const auto image = unpackedFixture("fat/fat16.vhd.xz");
    const auto listed = cli("ls " + q(image) + " --volume 0");
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_NE(listed.out.find("d - - 0 docs\n"), std::string::npos);
    EXPECT_NE(listed.out.find("f * intact 2222 docs/old-draft.txt\n"), std::string::npos);
    EXPECT_NE(listed.out.find("f - - 700 README\n"), std::string::npos);

    // The same volume given by its sectors, its kind found from the boot sector.
    const auto custom = cli("ls " + q(image) + " --start 2048 --end 51199");
    EXPECT_EQ(custom.exitCode, 0) << custom.err;
    EXPECT_EQ(custom.out, listed.out);
    const auto treated = cli("ls " + q(image) + " --start 2048 --end 51199 --treat-as FAT16");
    EXPECT_EQ(treated.out, listed.out);
}

TEST(FatCli, RecoverOnePathAndRecoverTwiceWithoutOverwriting) {
    if (!fsys::exists(fixturePath("fat/fat16.files"))) GTEST_SKIP() << "no FAT16 fixture";
    const auto image = unpackedFixture("fat/fat16.vhd.xz");
    const auto originals = readOriginals("fat16");

    // A folder: its children land directly in the output folder.
    TempDir sub;
    auto r = cli("recover " + q(image) + " --volume 0 --path docs --out " + q(sub.path()));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(sha256File(sub / "deep/deeper/bottom.bin"), originals.at("docs/deep/deeper/bottom.bin").sha);
    EXPECT_EQ(sha256File(sub / "guide.txt"), originals.at("docs/guide.txt").sha);
    EXPECT_TRUE(fsys::exists(sub / "old-draft.txt"));
    EXPECT_EQ(filesBelow(sub.path()).size(), 3u);

    // A file: just that file.
    TempDir one;
    r = cli("recover " + q(image) + " --volume 0 --path /docs/guide.txt --out " + q(one.path()));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(filesBelow(one.path()), std::vector<std::string>{"guide.txt"});

    // Unknown path: bad argument.
    r = cli("recover " + q(image) + " --volume 0 --path docs/none --out " + q(one.path()));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("no entry at path docs/none"), std::string::npos);

    // A second run into the same folder keeps the first run's files and writes
    // distinct names; a link planted in the folder is not followed.
    TempDir twice;
    fsys::create_directories(twice / "out");
    std::ofstream(twice / "victim.txt") << "keep me";
    fsys::create_symlink(twice / "victim.txt", twice / "out" / "README");
    r = cli("recover " + q(image) + " --volume 0 --out " + q(twice / "out"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = cli("recover " + q(image) + " --volume 0 --out " + q(twice / "out"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fsys::is_symlink(twice / "out" / "README"));
    std::ifstream victim(twice / "victim.txt");
    std::string text;
    std::getline(victim, text);
    EXPECT_EQ(text, "keep me");
    EXPECT_EQ(sha256File(twice / "out" / "README (1)"), originals.at("README").sha);
    EXPECT_EQ(sha256File(twice / "out" / "README (2)"), originals.at("README").sha);
    EXPECT_EQ(sha256File(twice / "out" / "HELLO.TXT"), originals.at("HELLO.TXT").sha);
    EXPECT_EQ(sha256File(twice / "out" / "HELLO (1).TXT"), originals.at("HELLO.TXT").sha);
    EXPECT_EQ(sha256File(twice / "out" / "docs" / "guide (1).txt"), originals.at("docs/guide.txt").sha);
}
