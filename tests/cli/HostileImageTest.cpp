// Crafted and damaged images against the CLI: names that hold separators or
// control bytes, cut images, sparse runs of huge claimed size, deep nesting.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include "browse/EntryWalk.h"
#include "browse/SaveEngine.h"
#include "cli/CliHelpers.h"
#include "fs/factory/ParserFactory.h"
#include "image/ImageOpener.h"
#include "support/Fat16Builder.h"
#include "support/NtfsToolImage.h"

using namespace tavrel;
using namespace tavrel::test;
namespace fsys = std::filesystem;

namespace {

std::string utf16le(const std::string& ascii) {
    std::string out;
    for (const char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

}  // namespace

// A real FAT16 image whose long file name was edited to hold "/" or an escape
// byte: ls and recover show the byte escaped (a "/" inside a name apart from
// the path separators), in their JSON forms too, recover writes the file under a safe name inside the
// output folder and never creates the folder the "/" suggests.
TEST(HostileImage, SlashOrControlByteInsideALongNameStaysInsideTheOutputFolder) {
    if (!fsys::exists(fixturePath("fat/fat16.files"))) GTEST_SKIP() << "no FAT16 fixture";
    const auto original = unpackedFixture("fat/fat16.vhd.xz");
    std::string sha;
    std::ifstream files(fixturePath("fat/fat16.files"));
    for (std::string line; std::getline(files, line);)
        if (line.size() > 65 && line.substr(line.size() - 15) == " Report-2024.md") sha = line.substr(0, 64);
    ASSERT_FALSE(sha.empty());

    struct Case {
        char byte;
        const char* listed;    // as ls shows the name
        const char* reported;  // as recover's note shows it
    };
    for (const Case c : {Case{'/', "Report\\x2F2024.md", "Report/2024.md"},
                         Case{'\x1B', "Report\\x1B2024.md", "Report\\x1B2024.md"}}) {
        SCOPED_TRACE(c.listed);
        TempDir tmp;
        const auto image = tmp / "edited.vhd";
        // "Report-2024.md": the long-name slot holds "t-2024" as UTF-16 at one run.
        auto bytes = readFileBytes(original);
        const std::string needle = utf16le("t-2024");
        const auto it = std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end());
        ASSERT_NE(it, bytes.end());
        ASSERT_EQ(std::search(it + 1, bytes.end(), needle.begin(), needle.end()), bytes.end()) << "not unique";
        *(it + 2) = static_cast<std::uint8_t>(c.byte);
        writeFileBytes(image, bytes);

        const auto ls = cli("ls " + q(image) + " --volume 0");
        ASSERT_EQ(ls.exitCode, 0) << ls.err;
        EXPECT_NE(ls.out.find(std::string("f - - 3000 ") + c.listed + "\n"), std::string::npos) << ls.out;
        // The name as ls shows it addresses the file again.
        const auto one = cli("ls " + q(image) + " --volume 0 --path " + shellQuote(c.listed));
        EXPECT_EQ(one.out, std::string("f - - 3000 ") + c.listed + "\n") << one.err;
        EXPECT_EQ(cli("cat " + q(image) + " --volume 0 " + shellQuote(c.listed) + " > " + q(tmp / "cat")).exitCode, 0);
        EXPECT_EQ(sha256File(tmp / "cat"), sha);
        fsys::remove(tmp / "cat");
        // The JSON forms give the path as the text form does.
        EXPECT_EQ(parseLsJson(cli("ls " + q(image) + " --volume 0 --json").out).count(c.listed), 1u);
        std::vector<std::string> hits;
        for (const auto& j : jsonLines(cli("search " + q(image) + " --volume 0 --json Report").out))
            hits.push_back(j.value("path", ""));
        EXPECT_NE(std::find(hits.begin(), hits.end(), c.listed), hits.end());
        const auto picked = cli("recover " + q(image) + " --volume 0 --json --path " + shellQuote(c.listed) +
                                " --out " + q(tmp / "one"));
        EXPECT_EQ(picked.exitCode, 0) << picked.err;
        EXPECT_EQ(jsonLines(picked.out).at(0).value("path", ""), c.listed) << picked.out;
        EXPECT_EQ(sha256File(tmp / "one" / "Report_2024.md"), sha);
        fsys::remove_all(tmp / "one");

        const auto out = tmp / "out";
        const auto r = cli("recover " + q(image) + " --volume 0 --out " + q(out));
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.err.find(std::string("note: ") + c.reported + ": saved as"), std::string::npos) << r.err;
        EXPECT_EQ((ls.out + r.out + r.err).find('\x1B'), std::string::npos);
        EXPECT_FALSE(fsys::exists(out / "Report"));
        EXPECT_EQ(sha256File(out / "Report_2024.md"), sha);
        // Nothing beside the output folder.
        std::vector<std::string> beside;
        for (const auto& e : fsys::directory_iterator(tmp.path())) beside.push_back(e.path().filename().string());
        std::sort(beside.begin(), beside.end());
        EXPECT_EQ(beside, (std::vector<std::string>{"edited.vhd", "out"}));
    }
}

namespace {

// Path -> SHA-256 of the live files a fixture was made with (FAT: "<sha> <mtime>
// <path>" lines; NTFS: the oracle listing, system files left out).
std::map<std::string, std::string> originalHashes(const std::string& fixture) {
    std::map<std::string, std::string> out;
    if (fixture.rfind("ntfs/", 0) == 0) {
        for (const auto& r : readOracle(fixture.substr(5)))
            if (r.kind == 'r' && !r.deleted && r.path[0] != '$') out[r.path] = r.sha;
        return out;
    }
    std::ifstream in(fixturePath(fixture + ".files"));
    std::string sha, mtime, path;
    while (in >> sha >> mtime && std::getline(in >> std::ws, path)) out[path] = sha;
    return out;
}

}  // namespace

// A dynamic VHD cut short: what lies past the file's end is unreadable, so the
// files stored there are reported failed (their bytes written as far as they
// exist) and the recover exits 1; every file reported written is the original.
TEST(HostileImage, CutImageNeverPassesZerosOffAsRecoveredFiles) {
    struct Case {
        const char* fixture;
        double kept;  // share of the image file kept
    };
    for (const Case c : {Case{"fat/fat16", 0.6}, Case{"fat/exfat", 0.88}, Case{"ntfs/ntfs-gpt", 0.5}}) {
        SCOPED_TRACE(c.fixture);
        const auto originals = originalHashes(c.fixture);
        ASSERT_FALSE(originals.empty());
        TempDir tmp;
        auto bytes = readFileBytes(unpackedFixture(std::string(c.fixture) + ".vhd.xz"));
        bytes.resize(static_cast<std::size_t>(static_cast<double>(bytes.size()) * c.kept) / 512 * 512);
        writeFileBytes(tmp / "cut.vhd", bytes);

        const auto r = cli("recover " + q(tmp / "cut.vhd") + " --volume 0 --json --out " + q(tmp / "out"));
        EXPECT_EQ(r.exitCode, 1) << r.err;
        std::map<std::string, std::string> status;
        std::int64_t unreadable = 0;
        for (const auto& j : jsonLines(r.out)) {
            if (j.contains("path")) status[j.at("path")] = j.at("status");
            if (j.contains("warnings")) unreadable = j.at("warnings").at("unreadable_ranges");
        }
        EXPECT_GT(unreadable, 0);
        const auto written = hashesBelow(tmp / "out");
        int failed = 0;
        for (const auto& [path, sha] : originals) {
            const auto it = status.find(path);
            if (it == status.end()) continue;  // in a folder that could not be read
            if (it->second == "written") {
                EXPECT_EQ(written.count(path) ? written.at(path) : "", sha) << path;
            }
            failed += it->second == "failed";
        }
        EXPECT_GT(failed, 0);
    }
}

// A 2 MiB NTFS volume whose file claims 1 TiB through a sparse run: the host
// file gets that length as a hole, using no more space than the stored bytes.
// When the host disk has less room than a file's stored bytes, that file is
// refused before anything is written and the others are still saved.
TEST(HostileImage, SparseRunsStayHolesAndFilesThatDoNotFitAreRefused) {
    if (!haveNtfsTools()) GTEST_SKIP() << "mkntfs/ntfscp/ntfstruncate missing";
    constexpr std::int64_t kTiB = std::int64_t{1} << 40;
    const std::string head = "stored before the hole\n";
    std::vector<std::uint8_t> full(96 * 1024);
    for (std::size_t i = 0; i < full.size(); ++i) full[i] = static_cast<std::uint8_t>(i * 2654435761u >> 11);
    TempDir tmp;
    const auto image = tmp / "sparse.img";
    ASSERT_TRUE(makeToolNtfs(image, 2 << 20,
                             {{"big.bin", {head.begin(), head.end()}, kTiB}, {"full.bin", full, -1}}));

    const auto out = tmp / "out";
    // The timeout only guards the machine should holes be written as zeros again.
    const auto r = runCommand("timeout 120 " + shellQuote(cliPath()) + " recover " + q(image) +
                              " --start 0 --end 4095 --treat-as ntfs --path big.bin --out " + q(out));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    struct stat st {};
    ASSERT_EQ(::stat((out / "big.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, kTiB);
    EXPECT_LT(st.st_blocks * 512, 1 << 20);
    std::ifstream big(out / "big.bin", std::ios::binary);
    std::string start(head.size(), '\0');
    big.read(start.data(), static_cast<std::streamsize>(start.size()));
    EXPECT_EQ(start, head);
    // cat into a regular file leaves the same hole.
    const auto cat = runCommand("timeout 120 " + shellQuote(cliPath()) + " cat " + q(image) +
                                " --start 0 --end 4095 --treat-as ntfs big.bin > " + q(tmp / "cat.bin"));
    ASSERT_EQ(cat.exitCode, 0) << cat.err;
    ASSERT_EQ(::stat((tmp / "cat.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, kTiB);
    EXPECT_LT(st.st_blocks * 512, 1 << 20);
    std::ifstream catted(tmp / "cat.bin", std::ios::binary);
    catted.read(start.data(), static_cast<std::streamsize>(start.size()));
    EXPECT_EQ(start, head);

    // The same save with a disk that has 8 KiB free.
    auto opened = openImage(image.string());
    ASSERT_TRUE(opened) << opened.message;
    const VolumeView view(*opened.reader, 0);
    auto parser = fs::makeParser("NTFS", view, {});
    ASSERT_TRUE(parser);
    WorkControl work;
    ASSERT_TRUE(parser->scan(work));
    browse::SaveEngine engine(*parser, work);
    engine.setFreeSpaceQuery([](int) { return std::optional<std::int64_t>(8192); });
    std::vector<fs::EntryRef> both = browse::findByPath(*parser, "big.bin");
    const auto fullRef = browse::findByPath(*parser, "full.bin");
    both.insert(both.end(), fullRef.begin(), fullRef.end());
    ASSERT_EQ(both.size(), 2u);
    const auto report = engine.saveEntries(both, tmp / "small");
    EXPECT_EQ(report.written, 1);
    ASSERT_EQ(report.failed, 1);
    ASSERT_EQ(report.notes.size(), 1u);
    EXPECT_EQ(report.notes[0].imagePath, "full.bin");
    EXPECT_NE(report.notes[0].note.find("the host disk cannot hold it: 98304 bytes to write, 8192 bytes free"),
              std::string::npos)
        << report.notes[0].note;
    EXPECT_EQ(fsys::file_size(tmp / "small" / "full.bin"), 0u);
}

// 1100 folders nested in one another, a file at depth 1000 and one at the
// bottom, saved with at most 200 open files: the walk reaches depth 1000
// whatever the descriptor limit, and the folder too deep to enter is counted
// as a failure (recover) and named on stderr (ls).
TEST(HostileImage, DeepNestingIsSavedWithFewDescriptorsAndTheRestIsReported) {
    Fat16Builder fat;
    std::uint32_t folder = Fat16Builder::kRoot;
    for (int depth = 1; depth <= 1100; ++depth) {
        folder = fat.folder(folder, "D");
        if (depth == 1000) fat.file(folder, "MID.TXT", "depth 1000\n");
    }
    fat.file(folder, "DEEP.TXT", "depth 1100\n");
    TempDir tmp;
    writeFileBytes(tmp / "deep.img", fat.bytes());
    const std::string volume = " --start 0 --end " + std::to_string(Fat16Builder::kSectors - 1);
    const auto limited = [&](const std::string& args) {
        return runCommand("ulimit -n 200 && " + shellQuote(cliPath()) + " " + args);
    };

    std::string mid = "D";
    for (int depth = 2; depth <= 1000; ++depth) mid += "/D";
    std::string tooDeep = mid;
    for (int depth = 1001; depth <= 1025; ++depth) tooDeep += "/D";

    const auto ls = limited("ls " + q(tmp / "deep.img") + volume);
    EXPECT_EQ(ls.exitCode, 0) << ls.err;
    EXPECT_NE(ls.out.find(" " + mid + "/MID.TXT\n"), std::string::npos);
    EXPECT_NE(ls.err.find("not listed: what lies below " + tooDeep + "\n"), std::string::npos) << ls.err;

    const auto r = limited("recover " + q(tmp / "deep.img") + volume + " --out " + q(tmp / "out"));
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("failed: " + tooDeep + "/: folder nesting too deep; not entered"), std::string::npos)
        << r.err.substr(r.err.size() > 300 ? r.err.size() - 300 : 0);
    std::ifstream in(tmp / "out" / mid / "MID.TXT");
    std::string text;
    EXPECT_TRUE(std::getline(in, text)) << r.err.substr(r.err.size() > 300 ? r.err.size() - 300 : 0);
    EXPECT_EQ(text, "depth 1000");
}
