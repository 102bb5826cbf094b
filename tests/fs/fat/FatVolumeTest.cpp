// The FAT-family parsers on volumes made by mkfs.fat / mkfs.exfat and filled by
// mtools or exfat-fuse (tests/fixtures/fat/make-fixtures.sh), checked against
// The Sleuth Kit (fls names and deleted flags, the bytes tsk_recover extracts,
// which reads them as icat does) and the originals'
// hashes and modification times.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "fs/factory/ParserFactory.h"
#include "image/FileReadSeekVHD.h"
#include "image/MemoryImage.h"
#include "support/TestSupport.h"

using namespace tavrel;
using namespace tavrel::test;
namespace fsys = std::filesystem;

namespace {

constexpr std::int64_t kStartSector = 2048;

struct Fixture {
    const char* name;
    const char* kind;  // the volume list's name
};

class VectorSink : public fs::ByteSink {
public:
    bool write(ByteSpan bytes) override {
        data.insert(data.end(), bytes.begin(), bytes.end());
        return true;
    }
    std::vector<std::uint8_t> data;
};

struct Listed {
    fs::EntryRef ref = 0;
    bool deleted = false;
    bool folder = false;
};

// Deleted short names keep their 0xE5 first byte (shown as U+03C3); the oracle
// writes "_" there.
std::string oracleSpelling(std::string path) {
    const std::string sigma = "\xCF\x83";
    std::string out;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = path.find('/', start);
        std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (part.rfind(sigma, 0) == 0) part = "_" + part.substr(sigma.size());
        out += part;
        if (slash == std::string::npos) break;
        out += "/";
        start = slash + 1;
    }
    return out;
}

void walk(const fs::Parser& p, const std::vector<fs::EntryRef>& level, const std::string& prefix,
          std::map<std::string, Listed>& out, int depth = 0) {
    ASSERT_LT(depth, 64);
    for (const fs::EntryRef e : level) {
        const std::string path = prefix + p.name(e);
        Listed l{e, p.isDeleted(e), p.isFolder(e)};
        out[oracleSpelling(path)] = l;
        if (p.isFolder(e)) {
            EXPECT_EQ(p.hasChildren(e), !p.children(e).empty()) << path;
            walk(p, p.children(e), path + "/", out, depth + 1);
        }
    }
}

struct OracleEntry {
    std::string inode;
    bool deleted = false;
    bool folder = false;
};

// fls -r -p lines: "r/r * 33:\tpath". Metadata files of the oracle itself and
// the volume label are left out.
std::map<std::string, OracleEntry> parseFls(const std::string& text) {
    std::map<std::string, OracleEntry> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const auto tab = line.find('\t');
        if (tab == std::string::npos) continue;
        const std::string head = line.substr(0, tab);
        const std::string path = line.substr(tab + 1);
        if (head.rfind("v/v", 0) == 0 || head.rfind("V/V", 0) == 0) continue;
        if (path.find("(Volume Label Entry)") != std::string::npos) continue;
        if (path.rfind("$", 0) == 0) continue;  // $MBR, $FAT1, $OrphanFiles, $ALLOC_BITMAP, ...
        OracleEntry e;
        e.folder = head[0] == 'd' || head[2] == 'd';
        e.deleted = head.find('*') != std::string::npos;
        const auto colon = head.rfind(':');
        const auto space = head.rfind(' ', colon);
        e.inode = head.substr(space + 1, colon - space - 1);
        out[path] = e;
    }
    return out;
}

struct ManifestLine {
    std::string sha256;
    std::int64_t mtime = 0;
};

std::map<std::string, ManifestLine> readManifest(const std::string& name) {
    std::map<std::string, ManifestLine> out;
    std::ifstream in(fixturePath("fat/" + name + ".files"));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        ManifestLine m;
        fields >> m.sha256 >> m.mtime;
        std::string path;
        std::getline(fields, path);
        out[path.substr(1)] = m;
    }
    return out;
}

// The same lines the fixture script writes, for the deleted originals.
std::vector<std::uint8_t> generated(const std::string& seed, std::size_t size) {
    std::string text;
    char line[64];
    for (int i = 0; text.size() < size; ++i) {
        std::snprintf(line, sizeof line, "%s:%08d\n", seed.c_str(), i);
        text += line;
    }
    text.resize(size);
    return {text.begin(), text.end()};
}

// The oracle's view of one fixture, made once per process: a raw copy of the
// disk, its fls listing and the live files tsk_recover extracted.
struct Oracle {
    bool available = false;
    std::string fls;
    fsys::path raw;        // kept for icat when nothing was recovered
    fsys::path recovered;  // empty: read single files with icat
};

std::string readCommitted(const std::string& name) {
    std::ifstream in(fixturePath("fat/" + name + ".fls"));
    return std::string(std::istreambuf_iterator<char>(in), {});
}

const Oracle& oracleFor(const std::string& name, const fsys::path& vhd) {
    static TempDir dir;
    static std::map<std::string, Oracle> cache;
    auto it = cache.find(name);
    if (it != cache.end()) return it->second;
    Oracle o;
    if (haveTool("qemu-img") && haveTool("fls") && haveTool("tsk_recover") && haveTool("icat")) {
        const fsys::path raw = dir / (name + ".raw");
        const std::string offset = std::to_string(kStartSector);
        const auto c = runCommand("qemu-img convert -f vpc -O raw " + shellQuote(vhd.string()) + " " +
                                  shellQuote(raw.string()));
        // On the 4 GiB volume fls spends most of a minute hunting orphan files in
        // every sector; the listing it gave when the fixture was made is used.
        const bool large = name == "fat32-64k";
        const auto f = large ? CommandResult{0, readCommitted(name), ""}
                             : runCommand("fls -r -p -o " + offset + " " + shellQuote(raw.string()));
        // tsk_recover is as slow there; single files are read with icat instead.
        CommandResult r{0, "", ""};
        if (!large) {
            o.recovered = dir / (name + ".out");
            r = runCommand("tsk_recover -a -o " + offset + " " + shellQuote(raw.string()) + " " +
                           shellQuote(o.recovered.string()));
        }
        o.available = c.exitCode == 0 && f.exitCode == 0 && r.exitCode == 0;
        o.fls = f.out;
        o.raw = raw;
    }
    return cache.emplace(name, o).first->second;
}

class FatVolume : public ::testing::TestWithParam<Fixture> {
protected:
    void SetUp() override {
        vhd_ = unpackedFixture(std::string("fat/") + GetParam().name + ".vhd.xz");
        ASSERT_TRUE(reader_.open(vhd_.string()));
        volume_ = std::make_unique<VolumeView>(reader_, kStartSector);
        parser_ = fs::makeParser(GetParam().kind, *volume_, fs::ScanOptions{});
        ASSERT_TRUE(parser_);
        WorkControl work;
        ASSERT_TRUE(parser_->scan(work)) << parser_->message();
        EXPECT_EQ(parser_->warnings().total(), 0) << fs::warningSummary(parser_->warnings());
        walk(*parser_, parser_->rootLevel(), "", listed_);
    }

    std::vector<std::uint8_t> saved(fs::EntryRef e) {
        VectorSink sink;
        WorkControl work;
        EXPECT_TRUE(parser_->saveFile(e, sink, work)) << parser_->name(e);
        return sink.data;
    }

    TempDir tmp_;
    fsys::path vhd_;
    FileReadSeekVHD reader_;
    std::unique_ptr<VolumeView> volume_;
    std::unique_ptr<fs::Parser> parser_;
    std::map<std::string, Listed> listed_;
};

TEST_P(FatVolume, NamesAndDeletedFlagsMatchTheSleuthKit) {
    const Oracle& oracleRun = oracleFor(GetParam().name, vhd_);
    std::string fls = oracleRun.fls;
    if (!oracleRun.available) fls = readCommitted(GetParam().name);
    const auto oracle = parseFls(fls);
    ASSERT_GT(oracle.size(), 100u);
    for (const auto& [path, o] : oracle) {
        const auto it = listed_.find(path);
        if (it == listed_.end()) {
            ADD_FAILURE() << "missing: " << path;
            continue;
        }
        EXPECT_EQ(it->second.deleted, o.deleted) << path;
        EXPECT_EQ(it->second.folder, o.folder) << path;
    }
    for (const auto& [path, l] : listed_) EXPECT_TRUE(oracle.count(path)) << "not in the oracle: " << path;
}

TEST_P(FatVolume, LiveFilesHaveTheOriginalsBytesAndTimes) {
    const auto manifest = readManifest(GetParam().name);
    ASSERT_GT(manifest.size(), 100u);
    std::string names;
    std::size_t index = 0;
    for (const auto& [path, m] : manifest) {
        const auto it = listed_.find(path);
        if (it == listed_.end()) {
            ADD_FAILURE() << "missing: " << path;
            continue;
        }
        EXPECT_FALSE(it->second.deleted) << path;
        const auto out = tmp_ / ("f" + std::to_string(index++));
        writeFileBytes(out, saved(it->second.ref));
        names += " " + shellQuote(out.string());
        const auto times = parser_->times(it->second.ref);
        ASSERT_TRUE(times.modified) << path;
        EXPECT_EQ(times.modified->seconds, m.mtime) << path;
    }
    // One hashing run for all files.
    const auto r = runCommand("cd " + shellQuote(tmp_.path().string()) + " && sha256sum" + names);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::istringstream lines(r.out);
    for (const auto& [path, m] : manifest) {
        std::string hash, file;
        lines >> hash >> file;
        EXPECT_EQ(hash, m.sha256) << path;
    }
}

TEST_P(FatVolume, SavedBytesMatchTheSleuthKitsCopies) {
    const Oracle& oracleRun = oracleFor(GetParam().name, vhd_);
    if (!oracleRun.available) GTEST_SKIP() << "qemu-img, fls or tsk_recover missing";
    int compared = 0;
    int bigSeen = 0;
    for (const auto& [path, o] : parseFls(oracleRun.fls)) {
        if (o.folder || o.deleted) continue;
        const auto it = listed_.find(path);
        ASSERT_NE(it, listed_.end()) << path;
        fsys::path copy = oracleRun.recovered / path;
        if (oracleRun.recovered.empty()) {
            // icat: every file outside the large folder, every 40th inside it.
            if (path.rfind("big/", 0) == 0 && bigSeen++ % 40 != 0) continue;
            copy = tmp_ / "icat.out";
            const auto c = runCommand("icat -o " + std::to_string(kStartSector) + " " +
                                      shellQuote(oracleRun.raw.string()) + " " + o.inode + " > " +
                                      shellQuote(copy.string()));
            ASSERT_EQ(c.exitCode, 0) << path << c.err;
        }
        if (!fsys::exists(copy)) {  // tsk_recover writes no empty files
            EXPECT_EQ(parser_->size(it->second.ref), 0) << path;
            continue;
        }
        EXPECT_EQ(saved(it->second.ref), readFileBytes(copy)) << path;
        ++compared;
    }
    EXPECT_GT(compared, 20);
}

TEST_P(FatVolume, DeletedFilesAreRecoveredFromTheirClusters) {
    // Freed chains: the clusters are read contiguously from the first one.
    const std::string gone = GetParam().kind == std::string("FAT64") ? "GONE.TXT" : "_ONE.TXT";
    ASSERT_TRUE(listed_.count(gone));
    EXPECT_EQ(saved(listed_[gone].ref), generated("gone", 1000));
    ASSERT_TRUE(listed_.count("Deleted long name file.txt"));
    const auto& longOne = listed_["Deleted long name file.txt"];
    EXPECT_TRUE(longOne.deleted);
    const auto bytes = saved(longOne.ref);
    EXPECT_EQ(bytes, generated("deletedlong", static_cast<std::size_t>(parser_->size(longOne.ref))));
    ASSERT_TRUE(listed_.count("docs/old-draft.txt"));
    EXPECT_EQ(saved(listed_["docs/old-draft.txt"].ref), generated("olddraft", 2222));
}

TEST_P(FatVolume, EntryViewAnswersSafelyForAnyReference) {
    for (const fs::EntryRef e : {fs::EntryRef{0}, fs::EntryRef{1} << 40}) {
        EXPECT_TRUE(parser_->children(e).empty());
        EXPECT_FALSE(parser_->isFolder(e));
        EXPECT_EQ(parser_->size(e), 0);
        VectorSink sink;
        WorkControl work;
        EXPECT_FALSE(parser_->saveFile(e, sink, work));
    }
    // Root level: every file, whatever its attributes (hidden, system, read-only).
    EXPECT_TRUE(listed_.count("HIDDEN.SYS"));
    EXPECT_TRUE(listed_.count("ReadOnly.txt"));
}

INSTANTIATE_TEST_SUITE_P(Images, FatVolume,
                         ::testing::Values(Fixture{"fat12", "FAT12"}, Fixture{"fat16", "fat16"},
                                           Fixture{"fat32-512", "FAT32"}, Fixture{"fat32-64k", "FAT32"},
                                           Fixture{"exfat", "FAT64"}),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (char& c : n)
                                 if (c == '-') c = '_';
                             return n;
                         });

}  // namespace
