// LVM2 logical volumes through tavrel-cli, on the disks lvm2 made
// (tests/fixtures/lvm/make-fixtures.sh): `volumes --json` lists each one by
// its "vg/lv" name with the first sector and size lvs reports, and `ls` and
// `recover --volume N` list and bring back every original file of it byte for
// byte (XFS in Standard and Deep mode), also with an XFS volume's primary
// superblock wiped; xfs_db, run on an XFS logical volume's bytes cut out with
// dd, names the same files as `ls`.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "cli/CliHelpers.h"

using namespace tavrel::test;

namespace {

struct Lv {
    std::string name;
    std::int64_t start = 0, sectors = 0;
};

std::vector<Lv> lvsOf(const std::string& disk) {
    std::vector<Lv> out;
    std::ifstream in(fixturePath("lvm/" + disk + ".lvs"));
    std::string sha;
    for (Lv l; in >> l.name >> l.start >> l.sectors >> sha;) out.push_back(l);
    return out;
}

// "vg/lv" -> path -> sha256 of the originals.
std::map<std::string, std::map<std::string, std::string>> originalsOf(const std::string& disk) {
    std::map<std::string, std::map<std::string, std::string>> out;
    std::ifstream in(fixturePath("lvm/" + disk + ".files"));
    for (std::string lv, sha, path; in >> lv >> sha && std::getline(in >> std::ws, path);) out[lv][path] = sha;
    return out;
}

}  // namespace

TEST(LvmCli, ListsAndRecoversEveryLogicalVolume) {
    for (const std::string disk : {"lvm-mbr", "lvm-whole", "lvm-striped"}) {
        SCOPED_TRACE(disk);
        const auto image = unpackedFixture("lvm/" + disk + ".raw.xz");
        const auto listed = cli("volumes " + q(image) + " --json");
        ASSERT_EQ(listed.exitCode, 0) << listed.err;
        std::map<std::string, nlohmann::json> rows;
        for (auto& j : jsonLines(listed.out))
            if (j.contains("name")) rows[j.at("name").get<std::string>()] = j;
        const auto originals = originalsOf(disk);
        const auto lvs = lvsOf(disk);
        ASSERT_EQ(rows.size(), lvs.size());
        for (const Lv& lv : lvs) {
            SCOPED_TRACE(lv.name);
            ASSERT_EQ(rows.count(lv.name), 1u);
            const auto& row = rows[lv.name];
            EXPECT_EQ(row.at("start").get<std::int64_t>(), lv.start);
            EXPECT_EQ(row.at("sectors").get<std::int64_t>(), lv.sectors);
            const std::string volume = " --volume " + std::to_string(row.at("volume").get<int>());
            ASSERT_EQ(originals.count(lv.name), 1u);
            // XFS reads every inode chunk in Deep mode too.
            std::vector<std::string> modes = {"standard"};
            if (row.at("fs") == "XFS") modes.push_back("deep");
            for (const std::string& mode : modes) {
                SCOPED_TRACE(mode);
                const auto ls = cli("ls " + q(image) + volume + " --mode " + mode + " --json");
                ASSERT_EQ(ls.exitCode, 0) << ls.err;
                const auto listedFiles = parseLsJson(ls.out);
                TempDir out;
                const auto r = cli("recover " + q(image) + volume + " --mode " + mode + " --out " + q(out.path()));
                ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
                const auto hashes = hashesBelow(out.path());
                for (const auto& [path, sha] : originals.at(lv.name)) {
                    EXPECT_EQ(listedFiles.count(path), 1u) << path;
                    EXPECT_EQ(hashes.count(path) ? hashes.at(path) : "", sha) << path;
                }
            }
        }
    }
}

// The files xfs_db names below `folder` of the volume `image`, as "a/b" paths.
static void xfsDbFiles(const std::filesystem::path& image, const std::string& folder, std::set<std::string>& out,
                int depth = 0) {
    ASSERT_LT(depth, 16);
    std::istringstream lines(runCommand("xfs_db -r -c " + q("ls /" + folder) + " " + q(image)).out);
    // "<offset> <inode> <type> <hash> <name length> <name> (good)"
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string offset, inode, type, hash, length, name;
        if (!(fields >> offset >> inode >> type >> hash >> length >> name) || name == "." || name == "..") continue;
        const std::string path = folder.empty() ? name : folder + "/" + name;
        if (type == "directory") xfsDbFiles(image, path, out, depth + 1);
        if (type == "regular") out.insert(path);
    }
}

TEST(LvmCli, XfsDbOnTheCutOutVolumeNamesTheFilesLsLists) {
    if (!haveTool("xfs_db")) GTEST_SKIP() << "needs xfs_db";
    // A linear volume of one segment is one run of the disk: dd cuts it out.
    const auto image = unpackedFixture("lvm/lvm-whole.raw.xz");
    const Lv lv = lvsOf("lvm-whole").at(0);
    TempDir dir;
    const auto cut = dir / "lv.img";
    ASSERT_EQ(runCommand("dd if=" + q(image) + " of=" + q(cut) + " bs=512 skip=" + std::to_string(lv.start) +
                         " count=" + std::to_string(lv.sectors) + " status=none")
                  .exitCode,
              0);
    std::set<std::string> oracle;
    xfsDbFiles(cut, "", oracle);
    ASSERT_FALSE(oracle.empty());

    const auto listed = jsonLines(cli("volumes " + q(image) + " --json").out);
    int volume = -1;
    for (const auto& j : listed)
        if (j.value("name", "") == lv.name) volume = j.at("volume").get<int>();
    ASSERT_GE(volume, 0);
    const auto ls = cli("ls " + q(image) + " --volume " + std::to_string(volume) + " --json");
    ASSERT_EQ(ls.exitCode, 0) << ls.err;
    std::set<std::string> ours;
    for (const auto& [path, row] : parseLsJson(ls.out))
        if (row.at("type") == "file" && !row.at("deleted").get<bool>()) ours.insert(path);
    EXPECT_EQ(ours, oracle);
}

// The XFS volume's first sector wiped in a copy of the disk: it is still
// named XFS, and read through AG 1's superblock copy, which the CLI says.
TEST(LvmCli, AnXfsVolumeWithItsPrimarySuperblockWipedIsReadFromTheCopy) {
    const auto image = unpackedFixture("lvm/lvm-mbr.raw.xz");
    const Lv lv = lvsOf("lvm-mbr").at(0);
    ASSERT_EQ(lv.name, "tvmbr/data");
    TempDir dir;
    const auto wiped = dir / "wiped.raw";
    auto bytes = readFileBytes(image);
    std::fill_n(bytes.begin() + lv.start * 512, 512, 0);
    writeFileBytes(wiped, bytes);
    int volume = -1;
    for (const auto& j : jsonLines(cli("volumes " + q(wiped) + " --json").out))
        if (j.value("name", "") == lv.name) {
            volume = j.at("volume").get<int>();
            EXPECT_EQ(j.at("fs"), "XFS");
        }
    ASSERT_GE(volume, 0);
    const auto ls = cli("ls " + q(wiped) + " --volume " + std::to_string(volume) + " --json");
    ASSERT_EQ(ls.exitCode, 0) << ls.err;
    EXPECT_NE(ls.err.find("The superblock of this XFS volume is damaged: its copy in allocation group 1 was used."),
              std::string::npos)
        << ls.err;
    const auto listed = parseLsJson(ls.out);
    const auto originals = originalsOf("lvm-mbr");
    for (const auto& [path, sha] : originals.at(lv.name)) EXPECT_EQ(listed.count(path), 1u) << path;
}
