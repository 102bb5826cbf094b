// The contract every file-system parser keeps, checked on each parser's committed
// fixtures: the scan ends well, the tree is finite (no entry reached twice, depth
// and fan-out bounded), a stop mid-scan still leaves a walkable tree, a save never
// writes more than the entry's size, and a disk that fails where the parser reads
// neither crashes it nor goes unreported. A new parser joins with one row of kCases.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "fs/EntryTable.h"
#include "fs/factory/FsKinds.h"
#include "image/FileReadSeekVHD.h"
#include "support/FaultyReader.h"
#include "support/TestSupport.h"
#include "volume/Partition.h"

using namespace tavrel;
using namespace tavrel::test;

namespace {

struct ContractCase {
    fs::FsKind kind;
    const char* fixture;       // under tests/fixtures/
    std::int64_t startSector;  // the volume as the disk's partition table gives it
    std::int64_t sectorCount;
};

const ContractCase kCases[] = {
    {fs::FsKind::Ntfs, "ntfs/ntfs-mbr.vhd.xz", 2048, 49152},
    {fs::FsKind::Ntfs, "ntfs/ntfs-gpt.vhd.xz", 2048, 24576},
    {fs::FsKind::Ntfs, "ntfs/ntfs-mftsplit.vhd.xz", 2048, 16384},
    {fs::FsKind::Fat16, "fat/fat12.vhd.xz", 2048, 8192},
    {fs::FsKind::Fat16, "fat/fat16.vhd.xz", 2048, 49152},
    {fs::FsKind::Fat32, "fat/fat32-512.vhd.xz", 2048, 81920},
    {fs::FsKind::Fat32, "fat/fat32-64k.vhd.xz", 2048, 8396800},
    {fs::FsKind::ExFat, "fat/exfat.vhd.xz", 2048, 32768},
    {fs::FsKind::HfsPlus, "volume/gpt.vhd.xz", 178176, 8192},
    {fs::FsKind::Ext, "ext/ext2.vhd.xz", 2048, 16384},
    {fs::FsKind::Ext, "ext/ext4.vhd.xz", 2048, 49152},
    {fs::FsKind::Xfs, "xfs/xfs-v5.vhd.xz", 2048, 98304},
    {fs::FsKind::Xfs, "xfs/xfs-v5-1k.vhd.xz", 2048, 98304},
    {fs::FsKind::Xfs, "xfs/xfs-v4.vhd.xz", 2048, 98304},
};

void PrintTo(const ContractCase& c, std::ostream* os) { *os << c.fixture; }

// Kinds whose parsers do not count damage in warnings() yet: their damage case
// skips the warnings expectation. A kind leaves this set once its parser counts.

const fs::FsKindRow& rowOf(fs::FsKind kind) {
    const auto& rows = fs::fsKinds();
    return *std::find_if(rows.begin(), rows.end(), [&](const fs::FsKindRow& r) { return r.kind == kind; });
}

class CountingSink : public fs::ByteSink {
public:
    bool write(ByteSpan bytes) override {
        written += static_cast<std::int64_t>(bytes.size());
        return true;
    }
    std::int64_t written = 0;
};

// Counts the scan's reports and requests a stop on the n-th (never when n is 0).
class StopAfter : public ProgressSink {
public:
    StopAfter(int n, const LoggingReader& reader) : n_(n), reader_(reader) {}
    void setStatus(const std::string&) override { note(); }
    void setRange(std::int64_t, std::int64_t) override { note(); }
    void setPosition(std::int64_t) override { note(); }
    WorkControl work{this};
    int reports = 0;
    std::int64_t bytesAtStop = -1;  // disk bytes read when the stop was requested

private:
    void note() {
        if (++reports != n_) return;
        bytesAtStop = reader_.bytesRead();
        work.requestStop();
    }
    int n_;
    const LoggingReader& reader_;
};

// What a walk of the tree found: the entries a save of everything would write.
struct Walk {
    std::vector<fs::EntryRef> files;
    std::size_t entries = 0;
};

// Every entry reachable from the root level, entering folders as the save walk
// does. An entry reached twice, a folder with more children than the volume has
// room for directory entries (32 bytes each at the least), or a path deeper than
// the entry table's bound fails the test; the walk stops at those bounds.
Walk walkTree(const fs::Parser& p, std::int64_t volumeBytes) {
    const std::size_t maxEntries = static_cast<std::size_t>(volumeBytes / 32) + 16;
    std::set<fs::EntryRef> seen;
    std::vector<std::pair<fs::EntryRef, std::size_t>> stack;
    std::size_t reachedTwice = 0;
    std::string firstReachedTwice;
    auto push = [&](const std::vector<fs::EntryRef>& level, std::size_t depth) {
        EXPECT_LE(level.size(), maxEntries);
        for (const fs::EntryRef e : level) {
            if (seen.insert(e).second) {
                stack.emplace_back(e, depth);
            } else if (reachedTwice++ == 0) {
                firstReachedTwice = p.name(e);
            }
        }
    };
    Walk walk;
    push(p.rootLevel(), 0);
    while (!stack.empty() && seen.size() <= maxEntries) {
        const auto [e, depth] = stack.back();
        stack.pop_back();
        if (!p.isFolder(e)) {
            if (!p.skipInSave(e)) walk.files.push_back(e);
            continue;
        }
        if (!p.enterInSave(e)) continue;
        const std::vector<fs::EntryRef> children = p.children(e);
        EXPECT_EQ(p.hasChildren(e), !children.empty()) << p.name(e);
        if (depth >= fs::EntryTable::kMaxDepth) {
            ADD_FAILURE() << p.name(e) << " lies deeper than " << fs::EntryTable::kMaxDepth;
            continue;
        }
        push(children, depth + 1);
    }
    EXPECT_LE(seen.size(), maxEntries) << "the walk did not end within the volume's room for entries";
    EXPECT_EQ(reachedTwice, 0u) << "entries reached twice, the first: " << firstReachedTwice;
    walk.entries = seen.size();
    return walk;
}

// Saves every file of the walk; each save writes at most the entry's size.
void saveAll(fs::Parser& p, const Walk& walk) {
    WorkControl work;
    for (const fs::EntryRef e : walk.files) {
        CountingSink sink;
        p.saveFile(e, sink, work);
        p.takeMessage();
        EXPECT_GE(p.size(e), 0) << p.name(e);
        EXPECT_LE(sink.written, p.size(e)) << p.name(e);
    }
}

class ParserContract : public ::testing::TestWithParam<ContractCase> {
protected:
    void SetUp() override {
        ASSERT_NE(rowOf(GetParam().kind).make, nullptr);
        ASSERT_TRUE(vhd_.open(unpackedFixture(GetParam().fixture).string()));
    }

    std::unique_ptr<fs::Parser> parserOver(const readWriteInterface& reader) {
        view_ = std::make_unique<VolumeView>(reader, GetParam().startSector, GetParam().sectorCount);
        return rowOf(GetParam().kind).make(*view_, fs::ScanOptions{});
    }
    std::int64_t volumeBytes() const { return GetParam().sectorCount * kSectorSize; }

    FileReadSeekVHD vhd_;
    std::unique_ptr<VolumeView> view_;
};

TEST_P(ParserContract, VolumeIsWhereThePartitionTableSays) {
    const auto volumes = Partition(vhd_, fs::fsProbes()).standardScan(hasGptHeader(vhd_));
    const auto it = std::find_if(volumes.begin(), volumes.end(),
                                 [&](const VolumeRecord& v) { return v.startSector == GetParam().startSector; });
    ASSERT_NE(it, volumes.end());
    EXPECT_EQ(it->sectorCount, GetParam().sectorCount);
    const fs::FsKindRow* row = fs::findKind(it->fsName);
    ASSERT_NE(row, nullptr) << it->fsName;
    EXPECT_EQ(row->kind, GetParam().kind) << it->fsName;
}

TEST_P(ParserContract, ScanEndsWithABoundedTreeAndSavesKeepToTheSize) {
    auto parser = parserOver(vhd_);
    WorkControl work;
    const fs::ScanOutcome outcome = parser->scan(work);
    ASSERT_EQ(outcome.result, fs::ScanResult::Done) << outcome.text << parser->message();
    const Walk walk = walkTree(*parser, volumeBytes());
    EXPECT_FALSE(walk.files.empty());
    saveAll(*parser, walk);
    EXPECT_EQ(parser->warnings().total(), 0) << fs::warningSummary(parser->warnings());
}

// Stops on the first report, half-way through the reports and on the last one.
// Each scan ends Done or Stopped, with a tree that walks like a full one, and
// reads no more after the stop than a whole scan reads.
TEST_P(ParserContract, StopMidScanLeavesAWalkableTree) {
    LoggingReader fullLog(vhd_);
    StopAfter counter(0, fullLog);
    ASSERT_TRUE(parserOver(fullLog)->scan(counter.work));
    ASSERT_GT(counter.reports, 0) << "the scan reports no progress to stop at";
    for (const int n : std::set<int>{1, (counter.reports + 1) / 2, counter.reports}) {
        SCOPED_TRACE("stop on report " + std::to_string(n) + " of " + std::to_string(counter.reports));
        LoggingReader log(vhd_);
        StopAfter stopper(n, log);
        auto parser = parserOver(log);
        const fs::ScanOutcome outcome = parser->scan(stopper.work);
        EXPECT_TRUE(outcome.ok()) << fs::resultName(outcome.result) << " " << outcome.text;
        ASSERT_GE(stopper.bytesAtStop, 0);
        EXPECT_LE(log.bytesRead() - stopper.bytesAtStop, fullLog.bytesRead());
        if (outcome.ok()) saveAll(*parser, walkTree(*parser, volumeBytes()));
    }
}

// The damage lands where the parser looks: on the read in the middle (by
// offset) of those a clean scan makes inside the volume, at most 64 KiB of it.
ReadRange middleRead(const std::vector<ReadRange>& reads, std::int64_t from, std::int64_t to) {
    std::vector<ReadRange> inside;
    for (const ReadRange& r : reads)
        if (r.offset >= from && r.offset < to) inside.push_back(r);
    if (inside.empty()) return {};
    std::sort(inside.begin(), inside.end(), [](const ReadRange& a, const ReadRange& b) { return a.offset < b.offset; });
    ReadRange r = inside[inside.size() / 2];
    r.length = std::min<std::int64_t>(r.length, 64 * 1024);
    return r;
}

TEST_P(ParserContract, DamageWhereTheScanReadsIsSurvivedAndCounted) {
    LoggingReader log(vhd_);
    WorkControl clean;
    ASSERT_TRUE(parserOver(log)->scan(clean));
    const std::int64_t start = GetParam().startSector * kSectorSize;
    const ReadRange hit = middleRead(log.reads(), start, start + volumeBytes());
    ASSERT_GT(hit.length, 0);

    for (const auto fault : {FaultyReader::Fault::Noise, FaultyReader::Fault::Unreadable}) {
        const bool unreadable = fault == FaultyReader::Fault::Unreadable;
        SCOPED_TRACE(std::string(unreadable ? "unreadable" : "noise") + " at disk offset " +
                     std::to_string(hit.offset));
        FaultyReader faulty(vhd_, hit.offset, hit.offset + hit.length, fault);
        auto parser = parserOver(faulty);
        WorkControl work;
        const fs::ScanOutcome outcome = parser->scan(work);
        parser->takeMessage();
        if (outcome.ok()) saveAll(*parser, walkTree(*parser, volumeBytes()));
        if (!unreadable) continue;
        EXPECT_GT(parser->warnings().total(), 0) << fs::resultName(outcome.result);
    }
}

std::string caseName(const ::testing::TestParamInfo<ContractCase>& info) {
    std::string name = info.param.fixture;
    name = name.substr(name.find('/') + 1);
    name = name.substr(0, name.find('.'));
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ParserContract, ::testing::ValuesIn(kCases), caseName);

TEST(ParserContractCases, EveryKindWithAParserHasAFixture) {
    for (const fs::FsKindRow& row : fs::fsKinds()) {
        if (!row.make) continue;
        const bool covered =
            std::any_of(std::begin(kCases), std::end(kCases), [&](const ContractCase& c) { return c.kind == row.kind; });
        EXPECT_TRUE(covered) << row.listName << " has a parser but no row in kCases";
    }
}

}  // namespace
