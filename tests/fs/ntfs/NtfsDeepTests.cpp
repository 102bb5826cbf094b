// Deep mode on intact volumes: records found anywhere on disk, linked by the
// numbers they carry, give the standard mode's tree (plus what it cannot reach),
// with the system files at the top and one entry per record number.
#include <gtest/gtest.h>

#include <set>

#include "NtfsFixture.h"

using namespace tavrel;
using namespace tavrel::fs;
using namespace tavrel::test::ntfsfx;

namespace {

struct Scan {
    std::unique_ptr<VolumeView> view;
    std::unique_ptr<ntfs> parser;
};

Scan scanVolume(const Image& image, RecoveryMode mode) {
    Scan s;
    s.view = std::make_unique<VolumeView>(*image.vhd, image.startSector);
    ScanOptions options;
    options.mode = mode;
    s.parser = std::make_unique<ntfs>(*s.view, options);
    WorkControl work;
    EXPECT_TRUE(s.parser->scan(work));
    return s;
}

class NtfsDeep : public ::testing::TestWithParam<const char*> {};

TEST_P(NtfsDeep, GivesTheStandardTreeWithOneEntryPerRecord) {
    const Image image = openFixture(GetParam());
    const Scan standard = scanVolume(image, RecoveryMode::Standard);
    const Scan deep = scanVolume(image, RecoveryMode::Deep);
    const auto want = treePaths(*standard.parser), got = treePaths(*deep.parser);
    ASSERT_GT(want.size(), 20u);
    for (const auto& [path, ref] : want) {
        const auto it = got.find(path);
        if (it == got.end()) {
            ADD_FAILURE() << "missing in Deep mode: " << path;
            continue;
        }
        EXPECT_EQ(deep.parser->isDeleted(it->second), standard.parser->isDeleted(ref)) << path;
        EXPECT_EQ(deep.parser->isFolder(it->second), standard.parser->isFolder(ref)) << path;
    }
    const auto top = [](const ntfs& p) {
        std::vector<std::string> names;
        for (const EntryRef e : p.rootLevel()) names.push_back(p.name(e));
        return names;
    };
    EXPECT_EQ(top(*deep.parser), top(*standard.parser));
    // The system files are at the top, each from its copy in the MFT, not in $MFTMirr.
    for (const char* name : {"$MFT", "$MFTMirr", "$LogFile", "$Volume"}) {
        ASSERT_TRUE(got.count(name)) << name;
        EXPECT_EQ(deep.parser->entries()[got.at(name)].recordOffset,
                  standard.parser->entries()[want.at(name)].recordOffset) << name;
    }

    std::set<std::uint64_t> numbers;
    for (const auto& [path, ref] : got) {
        if (static_cast<std::int64_t>(ref) == deep.parser->orphanIndex()) continue;
        EXPECT_TRUE(numbers.insert(deep.parser->entries()[ref].recordNumber).second) << "record twice: " << path;
    }
    // Every live name of the oracle's listing is at its path, with its content.
    for (const auto& row : expectedListing(GetParam(), image)) {
        if (row.deleted) continue;
        const auto it = got.find(row.path);
        if (it == got.end()) {
            ADD_FAILURE() << "missing in Deep mode: " << row.path;
            continue;
        }
        if (row.kind == 'r' && row.sha != "-") {
            EXPECT_EQ(savedHash(*deep.parser, it->second), row.sha) << row.path;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, NtfsDeep, ::testing::Values("ntfs-mbr", "ntfs-gpt", "ntfs-mftsplit"),
                         [](const auto& info) { return fixtureTestName(info.param); });

}  // namespace
