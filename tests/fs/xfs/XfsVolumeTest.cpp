// The XFS parser on volumes made by mkfs.xfs (tests/fixtures/xfs/make-xfs.sh),
// in Standard and Deep mode: every name and inode number as xfs_db reads them,
// every original file's bytes and times, the deleted names, and a damaged
// superblock.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "fs/factory/FsKinds.h"
#include "fs/factory/ParserFactory.h"
#include "fs/xfs/XfsClass.h"
#include "fs/xfs/XfsExtents.h"
#include "image/FileReadSeekVHD.h"
#include "support/FaultyReader.h"
#include "support/TestSupport.h"
#include "volume/Partition.h"

using namespace tavrel;
using namespace tavrel::test;
namespace fsys = std::filesystem;

namespace {

class FileSink : public fs::ByteSink {
public:
    explicit FileSink(const fsys::path& path) : out_(path, std::ios::binary) {}
    bool write(ByteSpan bytes) override {
        out_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return static_cast<bool>(out_);
    }

private:
    std::ofstream out_;
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

std::string readText(const fsys::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Lines "first rest-of-line" of a fixture text.
std::vector<std::pair<std::string, std::string>> pairs(const fsys::path& path) {
    std::vector<std::pair<std::string, std::string>> out;
    std::istringstream in(readText(path));
    std::string line;
    while (std::getline(in, line)) {
        const auto space = line.find(' ');
        if (space != std::string::npos) out.emplace_back(line.substr(0, space), line.substr(space + 1));
    }
    return out;
}

struct Case {
    const char* image;
    fs::RecoveryMode mode;
};

class XfsVolume : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        ASSERT_TRUE(reader_.open(unpackedFixture(base() + ".vhd.xz").string()));
        std::istringstream(readText(fixturePath(base() + ".offset"))) >> start_ >> sectors_;
    }
    std::string base() const { return std::string("xfs/") + GetParam().image; }

    std::unique_ptr<fs::Parser> scan(const readWriteInterface& reader, fs::ScanOutcome& outcome) {
        views_.push_back(std::make_unique<VolumeView>(reader, start_, sectors_));
        fs::ScanOptions options;
        options.mode = GetParam().mode;
        auto parser = fs::makeParser("XFS", *views_.back(), options);
        EXPECT_TRUE(parser);
        WorkControl work;
        if (parser) outcome = parser->scan(work);
        return parser;
    }

    void expectEveryFile(const readWriteInterface& reader, const std::string& warning, std::int64_t warnings);

    FileReadSeekVHD reader_;
    std::int64_t start_ = 0, sectors_ = 0;
    std::vector<std::unique_ptr<VolumeView>> views_;
    TempDir tmp_;
};

// Through `reader`: every name and inode number xfs_db lists, and every
// original's bytes and times; the scan leaves `warning` and `warnings` beside
// the tree.
void XfsVolume::expectEveryFile(const readWriteInterface& reader, const std::string& warning, std::int64_t warnings) {
    fs::ScanOutcome outcome;
    auto parser = scan(reader, outcome);
    ASSERT_TRUE(outcome) << outcome.text;
    EXPECT_EQ(parser->warnings().total(), warnings) << fs::warningSummary(parser->warnings());
    EXPECT_EQ(parser->scanWarning(), warning);
    Listing listed;
    walk(*parser, parser->rootLevel(), "", listed);
    const auto* xfs = dynamic_cast<const fs::XfsClass*>(parser.get());
    ASSERT_TRUE(xfs);

    // Names and inode numbers: xfs_db's, and nothing more but the deleted names.
    const auto oracle = pairs(unpackedFixture(base() + ".inodes.xz"));
    ASSERT_GT(oracle.size(), 1500u);
    std::map<std::string, std::string> oraclePaths;
    for (const auto& [inode, path] : oracle) {
        oraclePaths[path] = inode;
        const auto it = listed.find(path);
        if (it == listed.end()) {
            ADD_FAILURE() << "missing: " << path;
            continue;
        }
        EXPECT_FALSE(it->second.deleted) << path;
        EXPECT_EQ(std::to_string(xfs->entryInode(it->second.ref)), inode) << path;
    }
    std::set<std::string> deleted;
    std::istringstream deletedLines(readText(fixturePath(base() + ".deleted")));
    for (std::string line; std::getline(deletedLines, line);) deleted.insert(line);
    for (const auto& [path, l] : listed) {
        if (oraclePaths.count(path)) continue;
        EXPECT_TRUE(l.deleted && deleted.count(path)) << "not in the oracle: " << path;
    }
    for (const std::string& path : deleted) EXPECT_TRUE(listed.count(path) && listed[path].deleted) << path;

    // Every original: saved bytes hashed in one run, and the modification time.
    const auto originals = pairs(unpackedFixture(base() + ".files.xz"));
    ASSERT_GT(originals.size(), 1500u);
    WorkControl work;
    std::map<std::string, std::string> fileOf;
    for (const auto& [hash, rest] : originals) {
        const std::string mtime = rest.substr(0, rest.find(' '));
        const std::string path = rest.substr(rest.find(' ') + 1);
        const auto it = listed.find(path);
        if (it == listed.end()) {
            ADD_FAILURE() << "missing: " << path;
            continue;
        }
        const std::string file = "f" + std::to_string(fileOf.size());
        fileOf[file] = path;
        FileSink sink(tmp_ / file);
        EXPECT_TRUE(parser->saveFile(it->second.ref, sink, work)) << path << " " << parser->takeMessage();
        if (mtime == "-") continue;
        const auto times = parser->times(it->second.ref);
        ASSERT_TRUE(times.modified) << path;
        char text[40];
        std::snprintf(text, sizeof text, "%lld.%09u", static_cast<long long>(times.modified->seconds),
                      times.modified->nanoseconds);
        EXPECT_EQ(text, mtime) << path;
    }
    // Symbolic links are saved as their targets, short (in the inode) and long (in a block).
    for (const auto& [link, target] : {std::pair<std::string, std::string>{"link-to-readme", "README"},
                                       {"long-link", "docs/long-target-"}}) {
        ASSERT_TRUE(listed.count(link)) << link;
        {
            FileSink sink(tmp_ / "link");
            EXPECT_TRUE(parser->saveFile(listed[link].ref, sink, work)) << link;
        }
        const auto bytes = readFileBytes(tmp_ / "link");
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()).substr(0, target.size()), target) << link;
        EXPECT_EQ(static_cast<std::int64_t>(bytes.size()), parser->size(listed[link].ref)) << link;
    }
    const auto r = runCommand("cd " + shellQuote(tmp_.path().string()) + " && find . -type f -name 'f*' -print0 | "
                              "xargs -0 sha256sum");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::map<std::string, std::string> hashOf;
    std::istringstream lines(r.out);
    for (std::string hash, file; lines >> hash >> file;) hashOf[fileOf[file.substr(2)]] = hash;
    for (const auto& [hash, rest] : originals) {
        const std::string path = rest.substr(rest.find(' ') + 1);
        EXPECT_EQ(hashOf[path], hash) << path;
    }
}

TEST_P(XfsVolume, ListsWhatXfsDbListsAndEveryOriginalComesBack) { expectEveryFile(reader_, "", 0); }

// The primary superblock's sector wiped: AG 1's copy is read instead, and said so.
TEST_P(XfsVolume, AWipedPrimarySuperblockGivesWayToItsCopy) {
    FaultyReader wiped(reader_, start_ * 512, start_ * 512 + 512, FaultyReader::Fault::Zeros);
    expectEveryFile(wiped, "The superblock of this XFS volume is damaged: its copy in allocation group 1 was used.", 1);
}

// A byte of the superblock's sector changed where no field lies: the volume
// reads as before, with the failing checksum told beside the tree.
TEST_P(XfsVolume, SuperblockChecksumFailureIsAWarning) {
    if (std::string(GetParam().image) == "xfs-v4") GTEST_SKIP() << "version 4 keeps no checksums";
    const std::int64_t at = start_ * 512 + 400;
    FaultyReader faulty(reader_, at, at + 8, FaultyReader::Fault::Noise);
    fs::ScanOutcome outcome;
    auto parser = scan(faulty, outcome);
    ASSERT_EQ(outcome.result, fs::ScanResult::Done) << outcome.text;
    EXPECT_EQ(parser->scanWarning(), "The superblock of this XFS volume fails its checksum: it was read as it stands.");
    Listing listed;
    walk(*parser, parser->rootLevel(), "", listed);
    EXPECT_GT(listed.size(), 1500u);
}

INSTANTIATE_TEST_SUITE_P(Images, XfsVolume,
                         ::testing::Values(Case{"xfs-v5", fs::RecoveryMode::Standard},
                                           Case{"xfs-v5", fs::RecoveryMode::Deep},
                                           Case{"xfs-v5-1k", fs::RecoveryMode::Standard},
                                           Case{"xfs-v5-1k", fs::RecoveryMode::Deep},
                                           Case{"xfs-v4", fs::RecoveryMode::Standard},
                                           Case{"xfs-v4", fs::RecoveryMode::Deep}),
                         [](const auto& info) {
                             std::string n = info.param.image;
                             for (char& c : n)
                                 if (c == '-') c = '_';
                             return n + (info.param.mode == fs::RecoveryMode::Deep ? "_deep" : "_standard");
                         });

}  // namespace

namespace {

// The inode of "docs" unreadable: Standard mode cannot reach what lies below
// it; Deep mode lists its in-use inodes under the orphan folder, named by
// number, and walks the folder among them.
TEST_P(XfsVolume, DeepModeListsInodesNoNameReaches) {
    fs::ScanOutcome outcome;
    auto clean = scan(reader_, outcome);
    const auto* xfs = dynamic_cast<const fs::XfsClass*>(clean.get());
    ASSERT_TRUE(xfs);
    std::map<std::string, std::string> inodeOf;
    for (const auto& [inode, path] : pairs(unpackedFixture(base() + ".inodes.xz"))) inodeOf[path] = inode;
    const std::int64_t at = start_ * 512 + xfs->superblock().inodeOffset(std::stoull(inodeOf.at("docs")));
    FaultyReader faulty(reader_, at, at + xfs->superblock().inodeSize, FaultyReader::Fault::Noise);
    auto parser = scan(faulty, outcome);
    ASSERT_TRUE(outcome) << outcome.text;
    Listing listed;
    walk(*parser, parser->rootLevel(), "", listed);
    EXPECT_FALSE(listed.count("docs/guide.txt"));
    const std::string deep = "ORPHAN_ENTRY/inode-" + inodeOf.at("docs/deep");
    const bool deepMode = GetParam().mode == fs::RecoveryMode::Deep;
    EXPECT_EQ(listed.count(deep + "/deeper/bottom.bin"), deepMode ? 1u : 0u);
    EXPECT_EQ(listed.count("ORPHAN_ENTRY/inode-" + inodeOf.at("docs/guide.txt")), deepMode ? 1u : 0u);
}

// A few bytes changed where no field is decoded, in an inode, a directory data
// block, a data-fork B+tree block and an inode B+tree block (Deep mode reads
// those): the volume lists as before, the failing checksum counted beside it.
TEST_P(XfsVolume, ChecksumFailuresAreCountedNeverRefused) {
    if (std::string(GetParam().image) == "xfs-v4") GTEST_SKIP() << "version 4 keeps no checksums";
    fs::ScanOutcome outcome;
    auto clean = scan(reader_, outcome);
    const auto* xfs = dynamic_cast<const fs::XfsClass*>(clean.get());
    ASSERT_TRUE(xfs);
    Listing cleanListing;
    walk(*clean, clean->rootLevel(), "", cleanListing);
    const fs::xfs::XfsSuperblock& sb = xfs->superblock();
    std::map<std::string, std::uint64_t> inodeOf;
    for (const auto& [inode, path] : pairs(unpackedFixture(base() + ".inodes.xz"))) inodeOf[path] = std::stoull(inode);
    const VolumeView view(reader_, start_, sectors_);
    const auto folder = xfs->loadInode(inodeOf.at("btree"));
    ASSERT_TRUE(folder && folder->format == fs::xfs::ForkFormat::Btree);
    const std::size_t rootRecords = (folder->dataFork.size() - 4) / 16;
    const std::uint64_t treeBlock = be64(folder->dataFork, 4 + rootRecords * 8);
    const auto leaf = xfs->loadInode(inodeOf.at("leaf"));
    ASSERT_TRUE(leaf);
    const fs::xfs::ExtentMap leafMap = fs::xfs::mapDataFork(*leaf, view, sb);
    ASSERT_FALSE(leafMap.records.empty());
    std::vector<std::uint8_t> agi(512);
    ASSERT_TRUE(view.readAt(2 * sb.sectorSize, agi));
    const std::int64_t inobtEnd = sb.agBlockOffset(0, be32(agi, 20)) + sb.blockSize;

    const bool deep = GetParam().mode == fs::RecoveryMode::Deep;
    const std::string says = "Some structures of this XFS volume fail their checksums and were read as they stand (";
    const struct {
        const char* what;
        std::int64_t from, to;  // volume offsets changed
        std::string warning;
    } cases[] = {
        {"inode (padding)", sb.inodeOffset(inodeOf.at("docs/guide.txt")) + 132,
         sb.inodeOffset(inodeOf.at("docs/guide.txt")) + 140, says + "inodes: 1)."},
        {"directory data block (header padding)", sb.blockOffset(leafMap.records[0].fsBlock) + 60,
         sb.blockOffset(leafMap.records[0].fsBlock) + 64, says + "directory blocks: 1)."},
        {"folder's extent tree block (header padding)", sb.blockOffset(treeBlock) + 68, sb.blockOffset(treeBlock) + 72,
         says + "B+tree blocks: 1)."},
        {"inode tree root (its last, unused slot)", inobtEnd - 2, inobtEnd, deep ? says + "B+tree blocks: 1)." : ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FaultyReader changed(reader_, start_ * 512 + c.from, start_ * 512 + c.to, FaultyReader::Fault::Noise);
        auto parser = scan(changed, outcome);
        ASSERT_EQ(outcome.result, fs::ScanResult::Done) << outcome.text;
        EXPECT_EQ(parser->scanWarning(), c.warning);
        EXPECT_EQ(parser->warnings().total(), c.warning.empty() ? 0 : 1);
        Listing listed;
        walk(*parser, parser->rootLevel(), "", listed);
        EXPECT_EQ(listed.size(), cleanListing.size());
    }
}

// The sector scan lists the volume once: the superblock copies at the head
// of its AGs are not volumes of their own, even where every sector is tested;
// with the primary wiped, AG 1's copy stands for the volume at its start.
TEST_P(XfsVolume, SectorScanListsTheVolumeNotItsSuperblockCopies) {
    if (GetParam().mode == fs::RecoveryMode::Deep) GTEST_SKIP() << "the sector scan has no modes";
    for (const bool wiped : {false, true}) {
        for (const bool noSkip : {false, true}) {
            SCOPED_TRACE(std::string(wiped ? "wiped" : "sound") + (noSkip ? ", every sector" : ""));
            const std::int64_t from = wiped ? start_ * 512 : 0;
            FaultyReader disk(reader_, from, wiped ? from + 512 : 0, FaultyReader::Fault::Zeros);
            WorkControl work;
            std::vector<std::pair<std::int64_t, std::int64_t>> found;
            for (const VolumeRecord& r : Partition(disk, fs::fsProbes()).advancedScan(work, noSkip))
                if (r.fsName == "XFS") found.emplace_back(r.startSector, r.sectorCount);
            EXPECT_EQ(found, (std::vector<std::pair<std::int64_t, std::int64_t>>{{start_, sectors_}}));
        }
    }
}

}  // namespace
