// tavrel-cli ls/recover end to end on the ext fixtures (made by mkfs.ext* -d
// and debugfs), checked against the fixtures' record of the original files:
// their SHA-256 and modification time; and on volumes mkfs.ext4 makes at test
// time, damaged one structure per case, checked against the source files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>

#include "cli/CliHelpers.h"
#include "util/Bytes.h"

using namespace tavrel::test;
namespace fsys = std::filesystem;

TEST(ExtCli, EveryFixtureListsAndRecoversItsOriginalFiles) {
    const auto fixtures = fixturesWith("ext", ".files");
    ASSERT_FALSE(fixtures.empty());
    for (const auto& name : fixtures) {
        SCOPED_TRACE(name);
        const auto image = unpackedFixture("ext/" + name + ".vhd.xz");
        std::map<std::string, std::pair<std::string, std::int64_t>> originals;
        std::ifstream in(fixturePath("ext/" + name + ".files"));
        for (std::string sha, path; in >> sha;) {
            std::int64_t mtime = 0;
            in >> mtime;
            std::getline(in >> std::ws, path);
            originals[path] = {sha, mtime};
        }
        ASSERT_GT(originals.size(), 150u);

        // ls: the originals are the live files; the deleted ones are flagged.
        const auto ls = cli("ls " + q(image) + " --volume 0 --json");
        ASSERT_EQ(ls.exitCode, 0) << ls.err;
        const auto rows = parseLsJson(ls.out);
        std::set<std::string> live;
        for (const auto& [path, row] : rows)
            if (row.at("type") == "file" && !row.at("deleted").get<bool>() && path != "link-to-readme")
                live.insert(path);
        std::set<std::string> expected;
        for (const auto& [path, o] : originals) expected.insert(path);
        EXPECT_EQ(live, expected);
        for (const char* gone : {"GONE.TXT", "trash", "trash/one.txt", "docs/old-draft.txt"}) {
            ASSERT_EQ(rows.count(gone), 1u) << gone;
            EXPECT_TRUE(rows.find(gone)->second.at("deleted").get<bool>()) << gone;
        }

        // recover: every original with its content and modification time.
        TempDir out;
        const auto r = cli("recover " + q(image) + " --volume 0 --out " + q(out.path()));
        EXPECT_NE(r.out.find(" files written"), std::string::npos) << r.out << r.err;
        const auto hashes = hashesBelow(out.path());
        for (const auto& [path, o] : originals) {
            EXPECT_EQ(hashes.count(path) ? hashes.at(path) : "", o.first) << path;
            struct stat st {};
            ASSERT_EQ(::stat((out.path() / path).c_str(), &st), 0) << path;
            EXPECT_EQ(st.st_mtim.tv_sec, o.second) << path;
        }
        EXPECT_EQ(readFileBytes(out.path() / "trash/one.txt").size(), 333u);
    }
}

namespace {

// Files of several sizes in four folders, written below `src`.
void makeSources(const fsys::path& src) {
    for (const char* folder : {"alpha", "beta", "gamma", "delta"}) {
        fsys::create_directories(src / folder);
        for (int i = 1; i <= 10; ++i) {
            std::vector<std::uint8_t> bytes(static_cast<std::size_t>(i * 1500 + folder[0]));
            for (std::size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<std::uint8_t>((k * 131 + i) ^ folder[1]);
            writeFileBytes(src / folder / ("f" + std::to_string(i) + ".bin"), bytes);
        }
    }
}

// An 8 MiB ext4 volume on 1 KiB blocks, as mkfs.ext4 makes it today
// (metadata_csum, flex_bg), with 32-byte descriptors and eight groups of 16
// inodes, so that the files fill groups 0 to 3. Filled from `src` when given.
bool makeSmallExt4(const fsys::path& image, const fsys::path& src) {
    const std::string fill = src.empty() ? "" : " -d " + q(src);
    return runCommand("mkfs.ext4 -q -F -b 1024 -g 1024 -N 128 -O ^64bit -U 5441564c-0000-4000-8000-000000000005" +
                      fill + " " + q(image) + " 8M")
               .exitCode == 0;
}

constexpr std::size_t kDescriptors = 2048;        // block 2
constexpr std::size_t kGroup1Backup = 1025 * 1024;  // its superblock, then its descriptors

void zero(std::vector<std::uint8_t>& v, std::size_t at, std::size_t n) {
    std::fill(v.begin() + static_cast<std::ptrdiff_t>(at), v.begin() + static_cast<std::ptrdiff_t>(at + n), 0);
}

struct ExtDamageCase {
    const char* what;
    // Damages the filled volume; `fresh` is the same volume as mkfs left it.
    void (*damage)(std::vector<std::uint8_t>& volume, const std::vector<std::uint8_t>& fresh);
    const char* told;  // a text stderr must hold
    bool recovered;    // every file comes back; else nothing can be, and the scan says so
};

const ExtDamageCase kExtDamage[] = {
    // The kernel updates only the primary descriptors: the backups still say
    // what mkfs wrote (group 0 nearly unused, the rest never initialised).
    {"primary superblock zeroed, backups from mkfs time",
     [](auto& v, const auto& fresh) {
         zero(v, 1024, 1024);
         std::copy_n(fresh.begin() + kGroup1Backup, 2048, v.begin() + kGroup1Backup);
     },
     "the backup in block group 1 was used", true},
    {"group 0 claims every inode unused",
     [](auto& v, const auto&) { v[kDescriptors + 0x1C] = v[kDescriptors + 0x1D] = 0xFF; }, nullptr, true},
    {"every group says its inode table was never initialised",
     [](auto& v, const auto&) {
         for (std::size_t g = 0; g < 8; ++g) v[kDescriptors + g * 32 + 0x12] |= 1;
     },
     nullptr, true},
    {"primary superblock and every inode table zeroed",
     [](auto& v, const auto&) {
         zero(v, 1024, 1024);
         for (std::size_t g = 0; g < 8; ++g) zero(v, tavrel::le32(v, kDescriptors + g * 32 + 8) * 1024, 16 * 256);
     },
     "No file was found on this volume: its file system structures are damaged.", false},
};

}  // namespace

TEST(ExtCli, DamagedSuperblockOrGroupCountsStillRecoverEveryFile) {
    if (!haveTool("mkfs.ext4")) GTEST_SKIP() << "mkfs.ext4 missing";
    TempDir tmp;
    makeSources(tmp / "src");
    ASSERT_TRUE(makeSmallExt4(tmp / "filled.img", tmp / "src"));
    ASSERT_TRUE(makeSmallExt4(tmp / "fresh.img", {}));
    const auto filled = readFileBytes(tmp / "filled.img");
    const auto fresh = readFileBytes(tmp / "fresh.img");
    const auto originals = hashesBelow(tmp / "src");
    ASSERT_EQ(originals.size(), 40u);
    const std::string volume = " --start 0 --end 16383 --treat-as extX";

    // Healthy: an empty volume lists nothing, with no complaint.
    const auto empty = cli("recover " + q(tmp / "fresh.img") + volume + " --out " + q(tmp / "out-fresh"));
    EXPECT_EQ(empty.exitCode, 0) << empty.err;
    EXPECT_NE(empty.out.find("0 files written, 0 failed"), std::string::npos) << empty.out;

    for (const auto& c : kExtDamage) {
        SCOPED_TRACE(c.what);
        auto bytes = filled;
        c.damage(bytes, fresh);
        const auto image = tmp / "damaged.img";
        writeFileBytes(image, bytes);
        TempDir out;
        const auto r = cli("recover " + q(image) + volume + " --out " + q(out.path()));
        if (c.told) {
            EXPECT_NE(r.err.find(c.told), std::string::npos) << r.err;
        }
        if (c.recovered) {
            EXPECT_EQ(r.exitCode, 0) << r.err;
            EXPECT_EQ(hashesBelow(out.path()), originals) << r.out << r.err;
        } else {
            EXPECT_NE(r.exitCode, 0);
            EXPECT_EQ(r.out.find("files written"), std::string::npos) << r.out;
        }
    }
}

// A file whose size claims 1 TiB with 300 KiB mapped, in an ext4 (extents) and
// an ext2 (block map) volume: the host file is 1 TiB long and holds only the
// mapped blocks; the rest is a hole, for recover and for cat into a file.
TEST(ExtCli, UnmappedTailOfAHugeSizeStaysAHole) {
    if (!haveTool("mkfs.ext4") || !haveTool("debugfs")) GTEST_SKIP() << "mkfs.ext4 or debugfs missing";
    constexpr std::int64_t kTiB = std::int64_t{1} << 40;
    TempDir tmp;
    std::vector<std::uint8_t> content(300 * 1024);
    for (std::size_t k = 0; k < content.size(); ++k) content[k] = static_cast<std::uint8_t>(k * 2654435761u >> 13);
    fsys::create_directories(tmp / "src");
    writeFileBytes(tmp / "src/big.bin", content);
    for (const char* mkfs : {"mkfs.ext4", "mkfs.ext2"}) {
        SCOPED_TRACE(mkfs);
        const auto image = tmp / (std::string(mkfs) + ".img");
        ASSERT_EQ(runCommand(std::string(mkfs) + " -q -F -b 1024 -d " + q(tmp / "src") + " " + q(image) + " 2M").exitCode, 0);
        ASSERT_EQ(runCommand("debugfs -w -R 'sif /big.bin size 0x10000000000' " + q(image)).exitCode, 0);
        const std::string volume = " --start 0 --end 4095 --treat-as extX";
        const auto out = tmp / (std::string(mkfs) + "-out");
        // The timeout only guards the machine should the tail be written as zeros again.
        const auto r = runCommand("timeout 120 " + shellQuote(cliPath()) + " recover " + q(image) + volume +
                                  " --path big.bin --out " + q(out));
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const auto cat = runCommand("timeout 120 " + shellQuote(cliPath()) + " cat " + q(image) + volume +
                                    " big.bin > " + q(tmp / "cat.bin"));
        EXPECT_EQ(cat.exitCode, 0) << cat.err;
        for (const auto& written : {out / "big.bin", tmp / "cat.bin"}) {
            struct stat st {};
            ASSERT_EQ(::stat(written.c_str(), &st), 0);
            EXPECT_EQ(st.st_size, kTiB);
            EXPECT_LT(st.st_blocks * 512, 2 << 20);
            std::ifstream in(written, std::ios::binary);
            std::vector<std::uint8_t> head(content.size());
            in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
            EXPECT_EQ(head, content);
        }
    }
}
