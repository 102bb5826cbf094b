// The condition of every deleted file against The Sleuth Kit: the committed
// <image>.condition files hold, per deleted file, how many of its units
// `istat` names and how many of them `blkstat` reports allocated (made by
// tests/fixtures/condition/make-fixtures.sh). On the volumes made for this
// test (FAT32, NTFS, ext4, exFAT: a deleted file's clusters partly reused, one
// fully, one untouched) the condition and the counts match the oracle; on the
// other fixtures every deleted file whose units are all free is intact.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "fs/Condition.h"
#include "fs/factory/ParserFactory.h"
#include "image/FileReadSeekRaw.h"
#include "image/FileReadSeekVHD.h"
#include "support/TestSupport.h"

using namespace tavrel;
using namespace tavrel::test;

namespace {

struct ConditionCase {
    const char* fixture;  // under tests/fixtures/, with <fixture minus .xz>.condition beside it
    const char* fsName;
    std::int64_t startSector;
    bool exact;  // made for this test: every condition and count is the oracle's
};

const ConditionCase kCases[] = {
    {"condition/fat32-reused.img.xz", "FAT32", 0, true},
    {"condition/ntfs-reused.img.xz", "NTFS", 0, true},
    {"condition/ext4-reused.img.xz", "extX", 0, true},
    {"condition/exfat-reused.img.xz", "FAT64", 0, true},
    {"ntfs/ntfs-mbr.vhd.xz", "NTFS", 2048, false},
    {"fat/fat16.vhd.xz", "FAT16", 2048, false},
    {"fat/fat32-512.vhd.xz", "FAT32", 2048, false},
};

void PrintTo(const ConditionCase& c, std::ostream* os) { *os << c.fixture; }

struct OracleRow {
    bool resident = false;
    std::uint64_t reused = 0;
    std::uint64_t units = 0;
    std::string path;
};

std::vector<OracleRow> oracleRows(const std::string& fixture) {
    const std::string name = fixture.substr(0, fixture.size() - 3) + ".condition";
    std::ifstream in(fixturePath(name));
    std::vector<OracleRow> rows;
    std::string reused, line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        OracleRow r;
        fields >> reused >> r.units;
        r.resident = reused == "R";
        if (!r.resident) r.reused = std::stoull(reused);
        fields.get();
        std::getline(fields, r.path);
        rows.push_back(r);
    }
    return rows;
}

// A deleted FAT name starts with the mark 0xE5 (CP437 "σ"); the oracle shows "_".
std::string oracleName(std::string name) {
    if (name.rfind("\xCF\x83", 0) == 0) name.replace(0, 2, "_");
    return name;
}

// Deleted files by path, in tree order, with their condition.
void collect(const fs::Parser& p, const std::vector<fs::EntryRef>& level, const std::string& prefix, int depth,
             std::multimap<std::string, fs::EntryCondition>& out) {
    if (depth > 32) return;
    for (const fs::EntryRef e : level) {
        const std::string path = prefix + oracleName(p.name(e));
        if (const auto c = fs::deletedFileCondition(p, e)) out.emplace(path, *c);
        if (p.hasChildren(e)) collect(p, p.children(e), path + "/", depth + 1, out);
    }
}

class ConditionOracle : public ::testing::TestWithParam<ConditionCase> {};

TEST_P(ConditionOracle, MatchesBlkstat) {
    const ConditionCase& c = GetParam();
    const std::string file = unpackedFixture(c.fixture).string();
    std::unique_ptr<readWriteInterface> reader;
    if (std::string(c.fixture).find(".vhd") != std::string::npos) reader = std::make_unique<FileReadSeekVHD>();
    else reader = std::make_unique<FileReadSeekRaw>();
    ASSERT_TRUE(reader->open(file));
    const VolumeView view(*reader, c.startSector);
    auto parser = fs::makeParser(c.fsName, view, fs::ScanOptions{});
    ASSERT_NE(parser, nullptr);
    WorkControl work;
    ASSERT_TRUE(parser->scan(work));
    ASSERT_NE(parser->allocationMap(), nullptr);

    std::multimap<std::string, fs::EntryCondition> ours;
    collect(*parser, parser->rootLevel(), "", 0, ours);
    const auto rows = oracleRows(c.fixture);
    ASSERT_FALSE(rows.empty());
    std::map<std::string, int> seen;
    for (const OracleRow& r : rows) {
        SCOPED_TRACE(r.path);
        auto [first, last] = ours.equal_range(r.path);
        const int k = seen[r.path]++;
        ASSERT_LT(k, std::distance(first, last)) << "not listed as a deleted file";
        const fs::EntryCondition got = std::next(first, k)->second;
        if (r.resident) {
            EXPECT_EQ(got.condition, fs::Condition::Intact);
        } else if (c.exact) {
            const fs::Condition want = r.reused == 0           ? fs::Condition::Intact
                                       : r.reused == r.units ? fs::Condition::Overwritten
                                                             : fs::Condition::PartlyOverwritten;
            EXPECT_EQ(fs::conditionWord(got.condition), std::string(fs::conditionWord(want)));
            EXPECT_EQ(got.reused, r.reused);
            EXPECT_EQ(got.clusters, r.units);
        } else if (r.reused == 0) {
            EXPECT_EQ(fs::conditionWord(got.condition), std::string("intact"));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ConditionOracle, ::testing::ValuesIn(kCases));

// The map's own arithmetic at word edges: counts, the first free unit, and
// space outside the units counted as allocated.
TEST(AllocationMap, CountsAcrossWordsAndOutside) {
    fs::AllocationMap map(2, 200, 512, 4096);
    const std::uint8_t bits[] = {0x01, 0x80};
    map.markBits(2, bits);   // units 2 and 17
    map.mark(60, 10);        // 60..69, across the first word's edge
    EXPECT_EQ(map.countAllocated(2, 200), 12u);
    EXPECT_EQ(map.countAllocated(0, 3), 3u);       // 0 and 1 lie before the map
    EXPECT_EQ(map.countAllocated(195, 10), 3u);    // 202..204 lie past it
    EXPECT_EQ(map.nextFree(60), std::optional<std::uint64_t>(70));
    EXPECT_TRUE(map.allocatedAt(0));               // before the heap
    EXPECT_TRUE(map.allocatedAt(4096 + 15 * 512)); // unit 17
    EXPECT_FALSE(map.allocatedAt(4096 + 16 * 512));
}

}  // namespace
