// Carving that knows the volume's file system, on volumes made by real tools:
// files of ext2/ext3 volumes longer than twelve blocks come back byte for byte
// (their indirect blocks left out), and --free-only carves what the file
// system counts free: the deleted files, not the live ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "cli/CliHelpers.h"
#include "raw/RuleTexts.h"
#include "support/CarveFiles.h"

namespace tavrel::test {
namespace {

namespace fsys = std::filesystem;

struct Original {
    const char* name;
    const char* make;  // shell command writing "$F"; empty: a tagged MP3 made here
};

using Hashes = std::multiset<std::pair<std::string, std::string>>;  // extension, SHA-256

// Makes each original into `folder`; returns their hashes by extension.
Hashes makeOriginals(const fsys::path& folder, const std::vector<Original>& originals) {
    fsys::create_directories(folder);
    Hashes made;
    for (const Original& o : originals) {
        const fsys::path f = folder / o.name;
        if (*o.make) {
            const auto r = runCommand("F=" + shellQuote(f.string()) + " sh -c " + shellQuote(o.make));
            EXPECT_EQ(r.exitCode, 0) << o.name << ": " << r.err;
        } else {
            writeFileBytes(f, makeMp3(800, 43));
        }
        made.emplace(f.extension().string().substr(1), sha256File(f));
    }
    return made;
}

// Carves the whole raw volume file; the written files of the given
// extensions by hash, and the run's exit status and stderr.
struct Carved {
    Hashes files;
    int exitCode = 0;
    std::string err;
};
Carved carveVolume(const fsys::path& volume, const fsys::path& out, const std::string& extra,
                   const Hashes& kinds) {
    const auto last = static_cast<std::int64_t>(fsys::file_size(volume) / 512 - 1);
    const auto r = cli("carve " + q(volume) + " --start 0 --end " + std::to_string(last) + " --json --out " + q(out) +
                       " " + extra);
    Carved c{{}, r.exitCode, r.err};
    for (const auto& line : jsonLines(r.out)) {
        if (!line.contains("path")) continue;
        const std::string name = line["name"].get<std::string>();
        const std::string ext = name.substr(name.rfind('.') + 1);
        if (std::any_of(kinds.begin(), kinds.end(), [&](const auto& k) { return k.first == ext; }))
            c.files.emplace(ext, sha256File(line["path"].get<std::string>()));
    }
    return c;
}

const char* const kPhoto = "ppmpat -camo -randomseed=3 900 700 | pnmtojpeg -quality=95 > \"$F\"";  // 145 KB
const char* const kNoise = "pgmnoise -randomseed=5 600 600 | pnmtopng > \"$F\"";                   // 361 KB
const char* const kBigNoise = "pgmnoise -randomseed=6 1100 1100 | pnmtopng > \"$F\"";             // 1.2 MB
const char* const kIcon = "ppmpat -camo -randomseed=9 300 200 | ppmtogif > \"$F\" 2>/dev/null";

TEST(CarveExt, FilesLongerThanTwelveBlocksComeBackExactly) {
    for (const char* tool : {"mke2fs", "ppmpat", "pgmnoise", "pnmtojpeg", "pnmtopng", "ppmtogif"})
        if (!haveTool(tool)) GTEST_SKIP() << tool << " missing";
    struct Case {
        const char* mkfs;  // formats "$V" from the folder "$D"
        std::vector<Original> files;
    };
    // Each file crosses its single-indirect block; the PNGs and the MP3 on 1 KiB
    // and 2 KiB blocks cross the double-indirect one as well.
    const Case cases[] = {
        {"mke2fs -q -t ext2 -b 1024 -d \"$D\" \"$V\" 8192",
         {{"photo.jpg", kPhoto}, {"noise.png", kNoise}, {"song.mp3", ""}, {"icon.gif", kIcon}}},
        {"mke2fs -q -t ext3 -b 4096 -d \"$D\" \"$V\" 4096", {{"photo.jpg", kPhoto}, {"noise.png", kNoise}}},
        {"mke2fs -q -t ext2 -b 2048 -d \"$D\" \"$V\" 8192", {{"big.png", kBigNoise}, {"song.mp3", ""}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mkfs);
        TempDir dir;
        const Hashes expected = makeOriginals(dir / "files", c.files);
        const fsys::path volume = dir / "volume.img";
        const auto made = runCommand("D=" + shellQuote((dir / "files").string()) + " V=" +
                                     shellQuote(volume.string()) + " sh -c " + shellQuote(c.mkfs));
        ASSERT_EQ(made.exitCode, 0) << made.err;
        const Carved carved = carveVolume(volume, dir / "out", "", expected);
        ASSERT_EQ(carved.exitCode, 0) << carved.err;
        EXPECT_EQ(carved.files, expected);
    }
}

TEST(CarveFreeOnly, DeletedFilesAreFoundAndLiveOnesAreNot) {
    for (const char* tool : {"mkfs.fat", "mcopy", "mdel", "mke2fs", "debugfs", "ppmpat", "pgmnoise", "pnmtojpeg",
                             "pnmtopng"})
        if (!haveTool(tool)) GTEST_SKIP() << tool << " missing";
    const std::vector<Original> live = {{"live.jpg", "ppmpat -camo -randomseed=11 400 300 | pnmtojpeg > \"$F\""},
                                        {"live.png", "pgmnoise -randomseed=12 200 200 | pnmtopng > \"$F\""}};
    const std::vector<Original> deleted = {{"gone.jpg", "ppmpat -poles -randomseed=13 400 300 | pnmtojpeg > \"$F\""},
                                           {"gone.png", "pgmnoise -randomseed=14 250 200 | pnmtopng > \"$F\""}};
    struct Case {
        const char* make;  // formats "$V" with the files of "$D", then deletes gone.*
        bool readable;     // the volume's allocation map can be read
    };
    const Case cases[] = {
        {"mkfs.fat -F 32 -s 1 -C \"$V\" 40960 >/dev/null && export MTOOLS_SKIP_CHECK=1 && "
         "mcopy -i \"$V\" \"$D\"/* ::/ && mdel -i \"$V\" ::/gone.jpg ::/gone.png",
         true},
        {"mke2fs -q -t ext4 -b 1024 -d \"$D\" \"$V\" 16384 && "
         "debugfs -w -R 'rm /gone.jpg' \"$V\" && debugfs -w -R 'rm /gone.png' \"$V\"",
         true},
        // No file system at all: nothing is carved.
        {"cp \"$D\"/live.png \"$V\" && truncate -s 4M \"$V\"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.make);
        TempDir dir;
        const Hashes liveHashes = makeOriginals(dir / "files", live);
        const Hashes goneHashes = makeOriginals(dir / "files", deleted);
        const fsys::path volume = dir / "volume.img";
        const auto made = runCommand("D=" + shellQuote((dir / "files").string()) + " V=" +
                                     shellQuote(volume.string()) + " sh -c " + shellQuote(c.make) + " 2>&1");
        ASSERT_EQ(made.exitCode, 0) << made.out;
        const Carved free = carveVolume(volume, dir / "free", "--free-only", goneHashes);
        if (!c.readable) {
            EXPECT_EQ(free.exitCode, 2);
            EXPECT_NE(free.err.find(raw::texts::kNoFreeSpaceMap), std::string::npos) << free.err;
            EXPECT_FALSE(fsys::exists(dir / "free"));
            continue;
        }
        ASSERT_EQ(free.exitCode, 0) << free.err;
        EXPECT_EQ(free.files, goneHashes);
        // The whole volume holds both.
        Hashes all = liveHashes;
        all.insert(goneHashes.begin(), goneHashes.end());
        EXPECT_EQ(carveVolume(volume, dir / "whole", "", all).files, all);
    }
}

}  // namespace
}  // namespace tavrel::test
