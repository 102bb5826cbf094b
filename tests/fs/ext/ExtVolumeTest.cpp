// The ext parser on volumes made by mkfs.ext2/3/4 -d and debugfs
// (tests/fixtures/ext/make-ext.sh), checked against The Sleuth Kit (fls names
// and deleted flags, icat bytes) and the originals' hashes and times.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "fs/ext/ext2Class.h"
#include "fs/factory/ParserFactory.h"
#include "image/FileReadSeekVHD.h"
#include "support/FaultyReader.h"
#include "support/TestSupport.h"

using namespace tavrel;
using namespace tavrel::test;
namespace fsys = std::filesystem;

namespace {

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

using Listing = std::map<std::string, Listed>;

void walk(const fs::Parser& p, const std::vector<fs::EntryRef>& level, const std::string& prefix, Listing& out,
          int depth = 0) {
    ASSERT_LT(depth, 64);
    for (const fs::EntryRef e : level) {
        const std::string path = prefix + p.name(e);
        out[path] = {e, p.isDeleted(e), p.isFolder(e)};
        if (p.isFolder(e)) walk(p, p.children(e), path + "/", out, depth + 1);
    }
}

struct OracleEntry {
    std::string inode;
    char type = 'r';
    bool deleted = false;
};

std::string readText(const fsys::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// fls -r -p lines: "r/r * 12:\tpath" (name type / inode type). Left out: the
// oracle's virtual entries ($OrphanFiles and what it holds) and names of
// unknown type ("-/-"), which it reads from the index data of hashed folders.
std::map<std::string, OracleEntry> parseFls(const std::string& text) {
    std::map<std::string, OracleEntry> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const auto tab = line.find('\t');
        if (tab == std::string::npos || line.size() < 3) continue;
        const std::string head = line.substr(0, tab);
        const std::string path = line.substr(tab + 1);
        if (head[0] == 'V' || head[0] == '-' || path.rfind("$OrphanFiles", 0) == 0) continue;
        OracleEntry e;
        e.type = head[0];
        e.deleted = head.find('*') != std::string::npos;
        const auto colon = head.find_first_of(":(");
        const auto space = head.rfind(' ', colon);
        e.inode = head.substr(space + 1, colon - space - 1);
        out[path] = e;
    }
    return out;
}

struct Original {
    std::string sha256;
    std::int64_t mtime = 0;
};

std::map<std::string, Original> readOriginals(const std::string& name) {
    std::map<std::string, Original> out;
    std::ifstream in(fixturePath("ext/" + name + ".files"));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Original o;
        fields >> o.sha256 >> o.mtime;
        std::string path;
        std::getline(fields >> std::ws, path);
        out[path] = o;
    }
    return out;
}

// The same lines the fixture script writes.
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

class ExtVolume : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        vhd_ = unpackedFixture(std::string("ext/") + GetParam() + ".vhd.xz");
        ASSERT_TRUE(reader_.open(vhd_.string()));
        std::istringstream(readText(fixturePath(std::string("ext/") + GetParam() + ".offset"))) >> start_ >> sectors_;
        scan(reader_, parser_, listed_);
    }

    void scan(const readWriteInterface& reader, std::unique_ptr<fs::Parser>& parser, Listing& listed) {
        views_.push_back(std::make_unique<VolumeView>(reader, start_, sectors_));
        parser = fs::makeParser("extX", *views_.back(), fs::ScanOptions{});
        ASSERT_TRUE(parser);
        WorkControl work;
        ASSERT_TRUE(parser->scan(work)) << parser->message();
        walk(*parser, parser->rootLevel(), "", listed);
    }

    std::vector<std::uint8_t> saved(fs::EntryRef e) {
        VectorSink sink;
        WorkControl work;
        EXPECT_TRUE(parser_->saveFile(e, sink, work)) << parser_->name(e) << " " << parser_->message();
        return sink.data;
    }

    fsys::path vhd_;
    FileReadSeekVHD reader_;
    std::int64_t start_ = 0, sectors_ = 0;
    std::vector<std::unique_ptr<VolumeView>> views_;
    std::unique_ptr<fs::Parser> parser_;
    Listing listed_;
    TempDir tmp_;
};

TEST_P(ExtVolume, NamesAndDeletedFlagsMatchTheSleuthKit) {
    EXPECT_EQ(parser_->warnings().total(), 0) << fs::warningSummary(parser_->warnings());
    const auto oracle = parseFls(readText(fixturePath(std::string("ext/") + GetParam() + ".fls")));
    ASSERT_GT(oracle.size(), 150u);
    for (const auto& [path, o] : oracle) {
        const auto it = listed_.find(path);
        if (it == listed_.end()) {
            ADD_FAILURE() << "missing: " << path;
            continue;
        }
        EXPECT_EQ(it->second.deleted, o.deleted) << path;
        EXPECT_EQ(it->second.folder, o.type == 'd') << path;
    }
    for (const auto& [path, l] : listed_) EXPECT_TRUE(oracle.count(path)) << "not in the oracle: " << path;
}

TEST_P(ExtVolume, LiveFilesHaveTheOriginalsBytesAndTimes) {
    const auto originals = readOriginals(GetParam());
    ASSERT_GT(originals.size(), 150u);
    std::string names;
    for (const auto& [path, o] : originals) {
        const auto it = listed_.find(path);
        ASSERT_NE(it, listed_.end()) << path;
        EXPECT_FALSE(it->second.deleted) << path;
        const std::string file = "f" + std::to_string(names.size());
        writeFileBytes(tmp_ / file, saved(it->second.ref));
        names += " " + file;
        const auto times = parser_->times(it->second.ref);
        ASSERT_TRUE(times.modified) << path;
        EXPECT_EQ(times.modified->seconds, o.mtime) << path;
    }
    // One hashing run for all files, in the originals' order.
    const auto r = runCommand("cd " + shellQuote(tmp_.path().string()) + " && sha256sum" + names);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::istringstream lines(r.out);
    for (const auto& [path, o] : originals) {
        std::string hash, file;
        lines >> hash >> file;
        EXPECT_EQ(hash, o.sha256) << path;
    }
}

// Every file the oracle lists, live or deleted (one in ten of the large
// folder): the bytes icat reads for its inode. Symlinks are left out: icat
// reads a target kept inside the inode as zeros.
TEST_P(ExtVolume, SavedBytesMatchIcat) {
    if (!haveTool("qemu-img") || !haveTool("icat")) GTEST_SKIP() << "qemu-img or icat missing";
    const auto raw = tmp_ / "disk.raw";
    ASSERT_EQ(runCommand("qemu-img convert -f vpc -O raw " + shellQuote(vhd_.string()) + " " + shellQuote(raw.string()))
                  .exitCode,
              0);
    int compared = 0;
    for (const auto& [path, o] : parseFls(readText(fixturePath(std::string("ext/") + GetParam() + ".fls")))) {
        if (o.type != 'r' || o.inode == "0" || (path.rfind("big/", 0) == 0 && path.find("0.txt") == std::string::npos))
            continue;
        const auto copy = tmp_ / "icat.out";
        const auto c = runCommand("icat -o " + std::to_string(start_) + " " + shellQuote(raw.string()) + " " +
                                  o.inode + " > " + shellQuote(copy.string()));
        // The oracle cannot read extent trees of depth 2; the originals' hashes cover them.
        if (c.exitCode != 0 && c.err.find("No filler entry") != std::string::npos) continue;
        ASSERT_EQ(c.exitCode, 0) << path << c.err;
        EXPECT_EQ(saved(listed_.at(path).ref), readFileBytes(copy)) << path;
        ++compared;
    }
    EXPECT_GT(compared, 20);
}

TEST_P(ExtVolume, DeletedFilesAndFolderKeepTheirContent) {
    const std::pair<const char*, std::pair<const char*, std::size_t>> kDeleted[] = {
        {"GONE.TXT", {"gone", 1000}},
        {"docs/old-draft.txt", {"olddraft", 2222}},
        {"trash/one.txt", {"trash1", 333}},
        {"trash/Second file.txt", {"trash2", 4444}},
    };
    for (const auto& [path, content] : kDeleted) {
        ASSERT_TRUE(listed_.count(path)) << path;
        EXPECT_TRUE(listed_[path].deleted) << path;
        // The first name of an inline folder loses its inode number when removed.
        if (GetParam() == std::string("ext4-1k") && path == std::string("trash/Second file.txt")) continue;
        EXPECT_EQ(saved(listed_[path].ref), generated(content.first, content.second)) << path;
    }
    EXPECT_TRUE(listed_["trash"].deleted && listed_["trash"].folder);
    // Deleted as the kernel deletes: no size, no block map; the list says so.
    ASSERT_TRUE(listed_.count("wiped.txt"));
    EXPECT_EQ(parser_->size(listed_["wiped.txt"].ref), 0);
    EXPECT_EQ(parser_->describeEntry(listed_["wiped.txt"].ref).attributes, "-OR-GR-UW-UR (no block map)");
    EXPECT_EQ(parser_->describeEntry(listed_["README"].ref).attributes, "-OR-GR-UW-UR");
}

// A wiped primary superblock: the backup of group 1 gives the same listing.
TEST_P(ExtVolume, UnreadablePrimarySuperblockFallsBackToABackup) {
    const auto* clean = dynamic_cast<const fs::ext2Class*>(parser_.get());
    ASSERT_TRUE(clean);
    ASSERT_GT(clean->groups().size(), 1u) << "the volume keeps no backup";
    const std::int64_t at = start_ * 512 + 1024;
    FaultyReader faulty(reader_, at, at + 1024, FaultyReader::Fault::Unreadable);
    std::unique_ptr<fs::Parser> parser;
    Listing listed;
    scan(faulty, parser, listed);
    const auto* ext = dynamic_cast<const fs::ext2Class*>(parser.get());
    ASSERT_TRUE(ext);
    EXPECT_GT(ext->superblockOffset(), 1024);
    EXPECT_EQ(listed.size(), listed_.size());
    for (const auto& [path, l] : listed_) EXPECT_TRUE(listed.count(path)) << path;
}

INSTANTIATE_TEST_SUITE_P(Images, ExtVolume, ::testing::Values("ext2", "ext3", "ext4", "ext4-1k", "ext4-1k64"),
                         [](const auto& info) {
                             std::string n = info.param;
                             for (char& c : n)
                                 if (c == '-') c = '_';
                             return n;
                         });

}  // namespace
