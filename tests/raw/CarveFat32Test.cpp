// The shipped default rules on a real FAT32 volume (mkfs.fat, filled by mcopy)
// holding files made by real tools (netpbm pictures, a ghostscript PDF, a zip
// archive) and a tagged MP3: tavrel-cli carve finds each of them, and nothing
// else, byte for byte (SHA-256 of the written files against the originals).
#include <gtest/gtest.h>

#include <map>

#include "cli/CliHelpers.h"
#include "support/CarveFiles.h"

namespace tavrel::test {
namespace {

namespace fsys = std::filesystem;

struct Original {
    const char* name;
    const char* make;  // shell command writing "$F" (in the folder "$D"); empty: made here
};

TEST(CarveFat32, DefaultRulesFindEveryKnownKindExactly) {
    for (const char* tool : {"mkfs.fat", "mcopy", "ppmpat", "pnmtojpeg", "pnmtopng", "ppmtogif", "ps2pdf", "zip"})
        if (!haveTool(tool)) GTEST_SKIP() << tool << " missing";
    const Original originals[] = {
        {"photo.jpg", "ppmpat -camo -randomseed=7 320 240 | pnmtojpeg -quality=85 > \"$F\""},
        {"chart.png", "ppmpat -camo -randomseed=8 300 200 | pnmtopng > \"$F\""},
        {"icon.gif", "ppmpat -camo -randomseed=9 300 200 | ppmtogif > \"$F\" 2>/dev/null"},
        {"letter.pdf",
         "printf '%%!PS\\n/Times-Roman findfont 24 scalefont setfont\\n72 700 moveto (A carved letter) show\\n"
         "showpage\\n' | ps2pdf - \"$F\""},
        {"bundle.zip", "cd \"$D\" && seq 1 30000 > numbers.txt && ppmpat -poles 90 60 > poles.ppm && "
                       "zip -q -X \"$F\" numbers.txt poles.ppm && rm numbers.txt poles.ppm"},
        {"song.mp3", ""},
    };

    TempDir dir;
    const fsys::path files = dir / "files";
    fsys::create_directories(files);
    std::multimap<std::string, std::string> expected;  // extension -> SHA-256
    for (const Original& o : originals) {
        const fsys::path f = files / o.name;
        if (*o.make) {
            const auto made = runCommand("D=" + shellQuote(files.string()) + " F=" + shellQuote(f.string()) +
                                         " sh -c " + shellQuote(o.make));
            ASSERT_EQ(made.exitCode, 0) << o.name << ": " << made.err;
        } else {
            writeFileBytes(f, makeMp3(120, 41));
        }
        expected.emplace(f.extension().string().substr(1), sha256File(f));
    }

    // 40 MiB with 512-byte clusters: FAT32, every file over many clusters.
    const fsys::path volume = dir / "volume.img";
    const auto formatted = runCommand("mkfs.fat -F 32 -s 1 -C " + q(volume) + " 40960 && MTOOLS_SKIP_CHECK=1 mcopy -i " +
                                      q(volume) + " " + q(files) + "/* ::/");
    ASSERT_EQ(formatted.exitCode, 0) << formatted.err;
    writeFileBytes(dir / "disk.img", diskWithPartition(readFileBytes(volume), 2048));

    EXPECT_EQ(carvedHashes(dir / "disk.img", dir / "out"), expected);
}

}  // namespace
}  // namespace tavrel::test
