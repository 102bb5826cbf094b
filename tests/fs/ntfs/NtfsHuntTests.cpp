// Advanced mode: hunting a volume for MFT copies and parsing from the one
// chosen. A committed volume with its boot sector zeroed, and a volume
// formatted by mkntfs over an older one with another cluster size (so that both
// MFTs survive), each checked against The Sleuth Kit's listing or the files'
// own hashes.
#include <gtest/gtest.h>

#include <random>

#include "NtfsFixture.h"

using namespace tavrel;
using namespace tavrel::fs;
using namespace tavrel::test;
using namespace tavrel::test::ntfsfx;

namespace {

// Stops the work as soon as the first candidate is reported.
class StopOnFound final : public ProgressSink {
public:
    WorkControl* work = nullptr;
    void setStatus(const std::string& text) override {
        if (text.rfind("MFT ENTRY", 0) == 0) work->requestStop();
    }
    void setRange(std::int64_t, std::int64_t) override {}
    void setPosition(std::int64_t) override {}
};

struct Reformatted {
    TempDir dir;
    std::string oldHash, newHash;
    std::unique_ptr<MemoryImage> memory;

    bool make() {
        std::mt19937 random(7);
        std::vector<std::uint8_t> older(200000), newer(50000);
        for (auto& b : older) b = static_cast<std::uint8_t>(random());
        for (auto& b : newer) b = static_cast<std::uint8_t>(random());
        writeFileBytes(dir / "old.bin", older);
        writeFileBytes(dir / "new.bin", newer);
        oldHash = sha256File(dir / "old.bin");
        newHash = sha256File(dir / "new.bin");
        const auto image = dir / "volume.img";
        if (!makeReformattedNtfs(image, {{dir / "old.bin", "old.bin"}}, {{dir / "new.bin", "new.bin"}})) return false;
        memory = std::make_unique<MemoryImage>(readFileBytes(image));
        return true;
    }
};

std::unique_ptr<ntfs> advancedParser(const VolumeView& view) {
    ScanOptions options;
    options.mode = RecoveryMode::Advanced;
    return std::make_unique<ntfs>(view, options);
}

}  // namespace

TEST(NtfsHunt, ZeroedBootSectorParsedFromTheCandidateListsTheOraclesFiles) {
    const auto image = openFixture("ntfs-mbr");
    const auto rows = expectedListing("ntfs-mbr", image);
    auto memory = volumeCopy(image);
    std::fill_n(memory->bytes().begin(), 8192, std::uint8_t{0});
    const VolumeView view(*memory, 0);
    auto parser = advancedParser(view);
    WorkControl work;
    ASSERT_EQ(parser->huntCopies(work, 3), 1u);  // $MFTMirr's copy of record 0 is not one
    EXPECT_EQ(parser->candidates()[0].offset, 4 * 4096);
    EXPECT_EQ(parser->candidates()[0].clusterSize, 4096);
    ASSERT_TRUE(parser->useCandidate(0, {8}));
    ASSERT_TRUE(parser->scan(work).ok());
    const auto paths = treePaths(*parser);
    for (const auto& row : rows) {
        if (row.deleted) continue;
        EXPECT_TRUE(paths.count(row.path)) << row.path;
    }
    for (const char* path : {"frag.bin", "packed/mixed.bin"}) {
        ASSERT_TRUE(paths.count(path));
        std::string sha;
        for (const auto& row : rows)
            if (row.path == path) sha = row.sha;
        EXPECT_EQ(savedHash(*parser, paths.at(path)), sha) << path;
    }
}

// The fixture's MFT (4 KiB clusters) with the boot sector zeroed, parsed with
// the sectors per cluster the hunt learnt and with sizes that do not fit: only
// those leave the warning, and the learnt size gives the whole tree.
TEST(NtfsHunt, ChosenClusterSizeIsCheckedAgainstTheMftRuns) {
    const auto image = openFixture("ntfs-mbr");
    auto memory = volumeCopy(image);
    std::fill_n(memory->bytes().begin(), 8192, std::uint8_t{0});
    const VolumeView view(*memory, 0);
    const struct {
        int sectorsPerCluster;
        bool fits;
    } cases[] = {{0, true}, {8, true}, {4, false}, {16, false}, {1, false}, {128, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sectorsPerCluster);
        auto parser = advancedParser(view);
        WorkControl work;
        ASSERT_EQ(parser->huntCopies(work, 3), 1u);
        EXPECT_EQ(parser->clusterItems(), (std::vector<std::string>{"8", "4", "2", "16", "32", "64"}));
        EXPECT_EQ(parser->preselectedClusterItem(), "8");
        ASSERT_TRUE(parser->useCandidate(0, {c.sectorsPerCluster}));
        ASSERT_TRUE(parser->scan(work).ok());
        EXPECT_EQ(parser->scanWarning(), c.fits ? "" : ntfs::kClusterMismatchText);
        if (c.fits) {
            EXPECT_TRUE(treePaths(*parser).count("frag.bin"));
        }
    }
}

TEST(NtfsHunt, ReformattedVolumeGivesOneCandidatePerMft) {
    Reformatted r;
    if (!r.make()) GTEST_SKIP() << "mkntfs and ntfscp are needed";
    const VolumeView view(*r.memory, 0);
    const struct {
        std::size_t index;
        std::int64_t offset, clusterSize;
        const char *present, *absent;
        const std::string* hash;
    } cases[] = {
        {0, 4 * 4096, 4096, "new.bin", "old.bin", &r.newHash},
        {1, 2 * 65536, 65536, "old.bin", "new.bin", &r.oldHash},
    };
    for (const auto& c : cases) {
        auto parser = advancedParser(view);
        WorkControl work;
        ASSERT_EQ(parser->huntCopies(work, 0), 2u);  // 0 means 3; the two $MFTMirr copies are never candidates
        // The older MFT's 128 sectors per cluster come before the usual six.
        EXPECT_EQ(parser->clusterItems(), (std::vector<std::string>{"128", "8", "4", "2", "16", "32", "64"}));
        EXPECT_EQ(parser->candidates()[c.index].offset, c.offset);
        EXPECT_EQ(parser->candidates()[c.index].clusterSize, c.clusterSize);
        ASSERT_TRUE(parser->useCandidate(c.index, {}));
        ASSERT_TRUE(parser->scan(work).ok());
        const auto paths = treePaths(*parser);
        EXPECT_FALSE(paths.count(c.absent));
        ASSERT_TRUE(paths.count(c.present));
        EXPECT_EQ(savedHash(*parser, paths.at(c.present)), *c.hash);
    }
    EXPECT_FALSE(advancedParser(view)->useCandidate(0, {}));  // nothing hunted yet
}

TEST(NtfsHunt, MaximumAndStopBoundTheCandidates) {
    Reformatted r;
    if (!r.make()) GTEST_SKIP() << "mkntfs and ntfscp are needed";
    const VolumeView view(*r.memory, 0);
    Warnings warnings;
    const auto everywhere = [](std::int64_t, std::int64_t) { return true; };
    MftHuntLimits limits;
    limits.chunkSize = 65536;  // the two MFTs lie in different chunks
    limits.maximum = 1;
    WorkControl one;
    EXPECT_EQ(huntMftCopies(view, everywhere, limits, one, warnings).size(), 1u);

    limits.maximum = 3;
    StopOnFound sink;
    WorkControl stopped(&sink);
    sink.work = &stopped;
    const auto kept = huntMftCopies(view, everywhere, limits, stopped, warnings);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].offset, 4 * 4096);

    WorkControl unstored;
    EXPECT_TRUE(huntMftCopies(view, [](std::int64_t, std::int64_t) { return false; }, limits, unstored, warnings).empty());
}
