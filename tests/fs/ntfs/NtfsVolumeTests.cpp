// The parser on real volumes made by mkfs.ntfs and populated through ntfs-3g,
// checked against The Sleuth Kit's listing and content (or the committed copy of
// it): names at the same paths, deleted flags, and every live file's bytes.
#include <gtest/gtest.h>

#include <regex>

#include "NtfsFixture.h"
#include "fs/factory/ParserFactory.h"

using namespace tavrel;
using namespace tavrel::fs;
using namespace tavrel::test;
using namespace tavrel::test::ntfsfx;

namespace {

const std::string kOrphanFiles = "$OrphanFiles/";

// Compares the parser's tree with the oracle listing. Live names must be at the
// same path with the same kind; deleted ones where the oracle puts them (its
// orphans under "ORPHAN_ENTRY"); files' content is hashed when `hashes` is set.
void expectMatchesOracle(ntfs& parser, const std::vector<ExpectedRow>& rows, bool hashes, std::size_t minLive) {
    const auto paths = treePaths(parser);
    std::size_t live = 0, hashed = 0, deleted = 0;
    for (const auto& row : rows) {
        std::string path = row.path;
        if (path.rfind(kOrphanFiles, 0) == 0) path = std::string(ntfs::kOrphanName) + "/" + path.substr(kOrphanFiles.size());
        const auto it = paths.find(path);
        if (it == paths.end()) {
            ADD_FAILURE() << "missing from the tree: " << path << (row.deleted ? " (deleted)" : "");
            continue;
        }
        EXPECT_EQ(parser.isDeleted(it->second), row.deleted) << path;
        EXPECT_EQ(parser.isFolder(it->second), row.kind == 'd') << path;
        if (row.deleted) {
            ++deleted;
            continue;
        }
        ++live;
        if (hashes && row.kind == 'r' && row.sha != "-") {
            EXPECT_EQ(savedHash(parser, it->second), row.sha) << path;
            ++hashed;
        }
    }
    EXPECT_GE(live, minLive);
    if (hashes) {
        EXPECT_GE(hashed, minLive / 2);
    }
    (void)deleted;
}

struct Scanned {
    Image image;
    std::unique_ptr<VolumeView> view;
    std::unique_ptr<ntfs> parser;
};

Scanned scanFixture(const std::string& name, int mode = 1) {
    Scanned s;
    s.image = openFixture(name);
    s.view = std::make_unique<VolumeView>(*s.image.vhd, s.image.startSector);
    ScanOptions options;
    options.mode = static_cast<fs::RecoveryMode>(mode);
    s.parser = std::make_unique<ntfs>(*s.view, options);
    WorkControl work;
    EXPECT_TRUE(s.parser->scan(work));
    return s;
}

}  // namespace

// The committed volumes: an MBR disk, a GPT disk with 512-byte clusters, and
// one whose $MFT grew in pieces so that some of its runs end inside a record.
struct VolumeCase {
    const char* name;
    std::int64_t clusterSize;
    std::size_t minLive;
    bool mftRunsCutRecords;
    friend std::ostream& operator<<(std::ostream& out, const VolumeCase& c) { return out << c.name; }
};

class NtfsVolumeOracle : public ::testing::TestWithParam<VolumeCase> {};

TEST_P(NtfsVolumeOracle, TreeAndContentMatchTheOracle) {
    const VolumeCase& c = GetParam();
    auto s = scanFixture(c.name);
    bool live = false;
    const auto rows = expectedListing(c.name, s.image, &live);
    ASSERT_FALSE(rows.empty());
    if (!live) std::cout << "[ note ] The Sleuth Kit missing: comparing with the committed listing\n";
    EXPECT_EQ(s.parser->clusterSize(), c.clusterSize);
    EXPECT_EQ(s.parser->recordSize(), 1024u);
    EXPECT_EQ(s.parser->layout().hasSplits(), c.mftRunsCutRecords);
    expectMatchesOracle(*s.parser, rows, true, c.minLive);
    EXPECT_EQ(s.parser->warnings().total(), 0) << warningSummary(s.parser->warnings());
}

INSTANTIATE_TEST_SUITE_P(Fixtures, NtfsVolumeOracle,
                         ::testing::Values(VolumeCase{"ntfs-mbr", 4096, 25, false}, VolumeCase{"ntfs-gpt", 512, 15, false},
                                           VolumeCase{"ntfs-mftsplit", 512, 15, true}),
                         [](const auto& info) { return fixtureTestName(info.param.name); });

// Rewrites the unnamed $DATA of the $MFT record copy at `recordAt` as one run
// of `length` clusters at cluster `lcn` (fields as narrow as they can be), its
// last VCN to match.
void forgeMftRun(std::vector<std::uint8_t>& v, std::size_t recordAt, std::uint64_t length, std::uint64_t lcn) {
    std::vector<std::uint8_t> record(v.begin() + static_cast<std::ptrdiff_t>(recordAt),
                                     v.begin() + static_cast<std::ptrdiff_t>(recordAt + 1024));
    applyFixup(record);
    const auto width = [](std::uint64_t x, unsigned signBit) {
        unsigned n = 1;
        while (n < 8 && (x >> (8 * n - signBit)) != 0) ++n;
        return n;
    };
    const unsigned lengthBytes = width(length, 0), lcnBytes = width(lcn, 1);
    std::vector<std::uint8_t> runs{static_cast<std::uint8_t>(lcnBytes << 4 | lengthBytes)};
    for (unsigned i = 0; i < lengthBytes; ++i) runs.push_back(static_cast<std::uint8_t>(length >> (8 * i)));
    for (unsigned i = 0; i < lcnBytes; ++i) runs.push_back(static_cast<std::uint8_t>(lcn >> (8 * i)));
    runs.push_back(0);
    for (const auto& a : collectAttributes(record)) {
        if (a.type != 0x80 || !a.nonResident || a.nameLength != 0) continue;
        const std::size_t at = recordAt + a.offset;
        ASSERT_LE(a.runListOffset + runs.size(), a.length);
        std::copy(runs.begin(), runs.end(), v.begin() + static_cast<std::ptrdiff_t>(at + a.runListOffset));
        for (int i = 0; i < 8; ++i) v[at + 24 + i] = static_cast<std::uint8_t>((length - 1) >> (8 * i));
        return;
    }
    ADD_FAILURE() << "no $DATA in the $MFT record";
}

// An $MFT whose first run reaches past the volume is clipped to it; one whose
// run leads off the volume gives way to its copy in $MFTMirr, and when that
// leads nowhere too, to a hunt for records. Each lists the oracle's tree, with
// a warning.
TEST(NtfsVolume, MftRunsPastTheVolumeStillListTheOracleTree) {
    const Image image = openFixture("ntfs-gpt");
    auto rows = expectedListing("ntfs-gpt", image);
    for (auto& row : rows)
        if (row.path == "$MFT" || row.path == "$MFTMirr") row.sha = "-";  // their content holds the forged runs
    const auto sound = volumeCopy(image);
    const NtfsBoot boot = decodeBootSector(ByteSpan(sound->bytes()).first(512));
    const auto mft = static_cast<std::size_t>(boot.mftCluster * boot.clusterSize);
    const auto mirror = static_cast<std::size_t>(boot.mftMirrorCluster * boot.clusterSize);
    struct Case {
        const char* what;
        std::uint64_t length, lcn;  // the fixture's $MFT is 150 clusters long
        bool mirrorToo;
    };
    const Case cases[] = {
        {"first run longer than the volume", 0x7FFFFFFF, static_cast<std::uint64_t>(boot.mftCluster), false},
        {"first run off the volume", 150, 0x7FFFFF00, false},
        {"both copies off the volume", 150, 0x7FFFFF00, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto damaged = volumeCopy(image);
        forgeMftRun(damaged->bytes(), mft, c.length, c.lcn);
        if (c.mirrorToo) forgeMftRun(damaged->bytes(), mirror, c.length, c.lcn);
        VolumeView view(*damaged, 0);
        ntfs p(view, {});
        WorkControl work;
        EXPECT_EQ(p.scan(work).result, ScanResult::Done);
        expectMatchesOracle(p, rows, true, 15);
        EXPECT_GT(p.warnings().damagedRecords(), 0);
    }
}

TEST(NtfsVolume, TopLevelListTextsAndSaveRules) {
    auto s = scanFixture("ntfs-mbr");
    ntfs& p = *s.parser;
    const auto top = p.rootLevel();
    ASSERT_FALSE(top.empty());
    // "ORPHAN_ENTRY" is the root's last child; the root is not listed under itself.
    EXPECT_EQ(p.name(top.back()), ntfs::kOrphanName);
    EXPECT_TRUE(p.isFolder(top.back()));
    for (auto r : top) EXPECT_NE(p.name(r), ".");
    // System files come first, in record order.
    EXPECT_EQ(p.name(top.front()), "$MFT");

    const auto paths = treePaths(p);
    const auto at = [&](const std::string& path) {
        const auto it = paths.find(path);
        EXPECT_NE(it, paths.end()) << path;
        return it == paths.end() ? EntryRef{0} : it->second;
    };
    EXPECT_EQ(p.sizeText(at("cross.bin")), "600 Bytes");
    EXPECT_EQ(p.size(at("cross.bin")), 600);
    EXPECT_EQ(p.sizeText(at("big.bin")), "300.00 KB");
    EXPECT_EQ(p.sizeText(at("sparse.bin")), "2.00 MB");
    EXPECT_EQ(p.size(at("frag.bin")), 1400 * 4096);
    EXPECT_TRUE(p.skipInSave(at("$BadClus")));
    EXPECT_FALSE(p.skipInSave(at("big.bin")));

    const auto d = p.describeEntry(at("small.txt"));
    const std::regex timeForm(R"(\d\d/\d\d/\d{4}  \d\d:\d\d (AM|PM))");
    EXPECT_TRUE(std::regex_match(d.created, timeForm)) << d.created;
    EXPECT_TRUE(std::regex_match(d.accessed, timeForm)) << d.accessed;
    EXPECT_TRUE(std::regex_match(d.modified, timeForm)) << d.modified;
    EXPECT_EQ(d.attributes, "-A");
    const auto t = p.times(at("small.txt"));
    ASSERT_TRUE(t.modified);
    EXPECT_GT(t.modified->seconds, 1600000000);  // written by the fixture script, after 2020

    // A folder has no content to save, and says so.
    NullSink nullSink;
    WorkControl work(&nullSink);
    struct Discard : ByteSink {
        bool write(ByteSpan) override { return true; }
    } discard;
    EXPECT_FALSE(p.saveFile(at("keep"), discard, work));
    EXPECT_EQ(p.message(), "This is  keep directory .Please specify file names ");
}

TEST(NtfsVolume, FactoryKnowsNtfsInAnyCase) {
    MemoryImage empty(std::vector<std::uint8_t>(4096));
    VolumeView view(empty, 0);
    EXPECT_NE(makeParser("NTFS", view, {}), nullptr);
    EXPECT_NE(makeParser("ntfs", view, {}), nullptr);
    EXPECT_NE(dynamic_cast<ntfs*>(makeParser("Ntfs", view, {}).get()), nullptr);
}

TEST(NtfsVolume, ProgressAndStatusTexts) {
    struct Recorder : ProgressSink {
        std::vector<std::string> texts;
        std::mutex m;
        void setStatus(const std::string& t) override {
            std::lock_guard l(m);
            texts.push_back(t);
        }
        void setRange(std::int64_t, std::int64_t) override {}
        void setPosition(std::int64_t) override {}
    } rec;
    auto image = openFixture("ntfs-mbr");
    VolumeView view(*image.vhd, image.startSector);
    ntfs p(view, {});
    WorkControl work(&rec);
    p.scan(work);
    const auto has = [&](const std::string& t) { return std::find(rec.texts.begin(), rec.texts.end(), t) != rec.texts.end(); };
    EXPECT_TRUE(has(" ParsingBasedOnMFT is going on...."));
    EXPECT_TRUE(has("boot sector is fine.Getting run of mft entry..."));
    EXPECT_TRUE(has("Got run..."));
    EXPECT_TRUE(has("parsing 4 cluster of MFT run."));
    EXPECT_TRUE(has("parsing MFT entry 0..."));
}
