// tavrel-cli cat and the filtered listings (ls --path, ls --deleted) on the
// committed fixtures. cat is checked against The Sleuth Kit's icat on a raw
// copy of the disk (FAT) or against the fixture's icat hashes (NTFS); the
// filtered listings against the full listing and fls's deleted marks.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "cli/CliHelpers.h"

using namespace tavrel::test;

namespace {

struct FlsRow {
    std::string inode;
    bool deleted = false;
    std::string path;
};

// "r/r[ *] INODE:<TAB>PATH" lines of a fixture's fls listing (files and folders;
// virtual entries and $OrphanFiles left out).
std::vector<FlsRow> readFls(const std::string& fixture) {
    std::vector<FlsRow> rows;
    std::ifstream in(fixturePath("fat/" + fixture + ".fls"));
    std::string line;
    while (std::getline(in, line)) {
        const auto tab = line.find('\t');
        if (tab == std::string::npos || (line[0] != 'r' && line[0] != 'd')) continue;
        FlsRow r;
        r.deleted = line.compare(3, 3, " * ") == 0;
        const auto number = line.find_first_of("0123456789", 3);
        r.inode = line.substr(number, line.find(':', number) - number);
        r.path = line.substr(tab + 1);
        if (r.path.rfind("$OrphanFiles", 0) != 0) rows.push_back(r);
    }
    return rows;
}

// fls shows the erased first byte of a deleted FAT short name as "_"; the
// listing shows the byte itself (0xE5, "σ" in code page 437).
std::string asListed(const std::string& flsPath) {
    std::string out;
    for (std::size_t i = 0; i < flsPath.size(); ++i) {
        const bool componentStart = i == 0 || flsPath[i - 1] == '/';
        out += componentStart && flsPath[i] == '_' ? std::string("σ") : std::string(1, flsPath[i]);
    }
    return out;
}

// "d|f *|- SIZE PATH" lines of a text listing.
std::vector<std::string> lines(const std::string& out) {
    std::vector<std::string> v;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) v.push_back(line);
    return v;
}

// "d|f *|- CONDITION SIZE PATH": what follows the fourth space.
std::string pathOf(const std::string& line) { return line.substr(line.find(' ', line.find(' ', 4) + 1) + 1); }

bool within(const std::string& path, const std::string& top) {
    return path == top || path.rfind(top + "/", 0) == 0;
}

}  // namespace

TEST(CliCat, FatFilesEqualIcatOfTheRawDisk) {
    if (!haveTool("icat") || !haveTool("qemu-img")) GTEST_SKIP() << "needs icat and qemu-img";
    // Live and deleted files; fragmented, empty, in deep and in deleted folders
    // (exFAT keeps the whole names of deleted entries). The deleted "gap.bin" of
    // FAT12/16 is left out: its later clusters are in use again, and the two
    // readers guess its extent differently.
    const std::set<std::string> wanted = {"README", "fragmented.bin", "empty.dat", "Ünïcode-名前.txt",
                                          "docs/deep/deeper/bottom.bin", "big/entry-number-119.txt",
                                          "Deleted long name file.txt", "docs/old-draft.txt",
                                          "_rash/Second file.txt", "trash/Second file.txt", "gap.bin"};
    for (const std::string fixture : {"fat12", "fat16", "fat32-64k", "exfat"}) {
        SCOPED_TRACE(fixture);
        const auto image = unpackedFixture("fat/" + fixture + ".vhd.xz");
        const auto raw = rawCopy(image);
        ASSERT_FALSE(raw.empty());
        const auto volume = jsonLines(cli("volumes --json " + q(image)).out).at(0);
        const std::string offset = std::to_string(volume.at("start").get<std::int64_t>());
        int compared = 0;
        for (const auto& row : readFls(fixture)) {
            if (!wanted.count(row.path)) continue;
            SCOPED_TRACE(row.path);
            const auto ours = cli("cat " + q(image) + " --volume 0 " + shellQuote(asListed(row.path)));
            const auto theirs = runCommand("icat -o " + offset + " " + q(raw) + " " + row.inode);
            ASSERT_EQ(ours.exitCode, 0) << ours.err;
            EXPECT_EQ(ours.err, "");
            EXPECT_TRUE(ours.out == theirs.out) << ours.out.size() << " bytes, icat " << theirs.out.size();
            ++compared;
        }
        EXPECT_GE(compared, 9);
    }
}

TEST(CliCat, NtfsFilesEqualTheFixtureHashes) {
    const auto image = unpackedFixture("ntfs/ntfs-mbr.vhd.xz");
    TempDir tmp;
    int compared = 0;
    for (const auto& row : readOracle("ntfs-mbr")) {
        // The user files, live and deleted.
        if (row.kind != 'r' || row.path.empty() || row.path[0] == '$') continue;
        SCOPED_TRACE(row.path);
        const auto file = tmp / "content";
        const auto r = cli("cat " + q(image) + " --volume 0 " + shellQuote(row.path) + " > " + q(file));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(sha256File(file), row.sha);
        ++compared;
    }
    EXPECT_GE(compared, 15);
}

TEST(CliCat, EntryNumbersFoldersAndMissingPaths) {
    const auto image = unpackedFixture("fat/fat16.vhd.xz");
    const std::string volume = q(image) + " --volume 0 ";
    // "#N" names the entry `ls --json` lists as N.
    const auto listed = parseLsJson(cli("ls " + volume + "--json --path docs/old-draft.txt").out);
    ASSERT_EQ(listed.size(), 1u);
    const auto byNumber = cli("cat " + volume + "'#" + listed.begin()->second.at("entry").dump() + "'");
    ASSERT_EQ(byNumber.exitCode, 0) << byNumber.err;
    EXPECT_EQ(byNumber.out, cli("cat " + volume + "/docs/old-draft.txt").out);
    EXPECT_EQ(static_cast<std::int64_t>(byNumber.out.size()), listed.begin()->second.at("size").get<std::int64_t>());

    for (const std::string bad : {"docs", "docs/none", "'#999999'"}) {
        SCOPED_TRACE(bad);
        const auto r = cli("cat " + volume + bad);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

TEST(CliLs, PathAndDeletedAreSubsetsOfTheFullListing) {
    struct Case {
        std::string fixture;
        std::vector<std::string> paths;
    };
    const std::vector<Case> cases = {
        {"fat/fat16", {"docs", "/docs/deep/", "big", "README", "σrash"}},
        {"ntfs/ntfs-mbr", {"a", "a/b/c", "keep", "Папка", "ORPHAN_ENTRY", "small.txt"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture);
        const std::string volume = q(unpackedFixture(c.fixture + ".vhd.xz")) + " --volume 0";
        const auto full = lines(cli("ls " + volume).out);
        ASSERT_FALSE(full.empty());
        for (const auto& p : c.paths) {
            SCOPED_TRACE(p);
            std::string top = p;
            while (top.front() == '/') top.erase(0, 1);
            while (top.back() == '/') top.pop_back();
            std::vector<std::string> expected, expectedDeleted;
            for (const auto& line : full)
                if (within(pathOf(line), top)) {
                    expected.push_back(line);
                    if (line[2] == '*') expectedDeleted.push_back(line);
                }
            ASSERT_FALSE(expected.empty());
            EXPECT_EQ(lines(cli("ls " + volume + " --path " + shellQuote(p)).out), expected);
            const auto json = jsonLines(cli("ls " + volume + " --json --deleted --path " + shellQuote(p)).out);
            ASSERT_EQ(json.size(), expectedDeleted.size());
            for (std::size_t i = 0; i < json.size(); ++i) EXPECT_EQ(json[i].at("path"), pathOf(expectedDeleted[i]));
        }
        std::vector<std::string> deleted;
        for (const auto& line : full)
            if (line[2] == '*') deleted.push_back(line);
        EXPECT_EQ(lines(cli("ls " + volume + " --deleted").out), deleted);
        EXPECT_EQ(cli("ls " + volume + " --path no/such/thing").exitCode, 2);
    }
}

TEST(CliLs, DeletedEntriesAreThoseFlsMarks) {
    for (const std::string fixture : {"fat12", "fat16", "fat32-512", "fat32-64k", "exfat"}) {
        SCOPED_TRACE(fixture);
        const auto image = unpackedFixture("fat/" + fixture + ".vhd.xz");
        std::multiset<std::string> ours, theirs;
        for (const auto& line : lines(cli("ls " + q(image) + " --volume 0 --deleted").out)) ours.insert(pathOf(line));
        for (const auto& row : readFls(fixture))
            if (row.deleted) theirs.insert(asListed(row.path));
        EXPECT_EQ(ours, theirs);
    }
}
