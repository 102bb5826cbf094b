// The HFS+ parser on the macOS-made fixture, in the standard mode and in the
// leaf-node scan of the other modes, checked against The Sleuth Kit: every
// entry fls lists is listed with its CNID and kind, and every file saves to the
// bytes icat gives. The same with the volume header at byte 1024 zeroed (the
// alternate copy at the volume's end is read, with a warning) and, in the
// other modes, with both copies zeroed.
#include <gtest/gtest.h>

#include "fs/factory/FsKinds.h"
#include "fs/hfsplus/HFSP.h"
#include "fs/hfsplus/HfsFixture.h"

using namespace tavrel;
using namespace tavrel::test::hfs;

namespace {

enum class Headers { Intact, PrimaryZeroed, BothZeroed };

struct VolumeCase {
    fs::RecoveryMode mode;
    const char* name;
    Headers headers = Headers::Intact;
    const char* message = "";  // the warning the scan leaves beside its tree
};

class HfsVolume : public ::testing::TestWithParam<VolumeCase> {};

TEST_P(HfsVolume, ListingAndContentMatchTheSleuthKit) {
    std::vector<std::uint8_t> bytes = volumeBytes();
    const Headers headers = GetParam().headers;
    if (headers != Headers::Intact) std::fill_n(bytes.begin() + 1024, 512, 0);
    if (headers == Headers::BothZeroed) std::fill_n(bytes.end() - 1024, 512, 0);
    MemoryImage image(std::move(bytes));
    const VolumeView view(image, 0);
    fs::HFSP parser(view, fs::ScanOptions{GetParam().mode});
    WorkControl work;
    const fs::ScanOutcome outcome = parser.scan(work);
    ASSERT_EQ(outcome.result, fs::ScanResult::Done) << outcome.text;
    EXPECT_EQ(parser.warnings().damagedRecords(), headers == Headers::Intact ? 0 : 1);
    EXPECT_EQ(parser.warnings().unreadableRanges(), 0);
    EXPECT_EQ(parser.scanWarning(), GetParam().message);
    EXPECT_EQ(parser.blockSize(), 4096u);

    const auto expected = oracle();
    ASSERT_EQ(expected.size(), 12u);
    auto listed = parserPaths(parser);
    // The deep scan gathers records it cannot place under "ORPHAN_ENTRY"; here
    // every parent is found, so it stays empty.
    const bool deep = GetParam().mode != fs::RecoveryMode::Standard;
    ASSERT_EQ(listed.count(fs::HFSP::kOrphanName), deep ? 1u : 0u);
    if (deep) {
        EXPECT_FALSE(parser.hasChildren(listed.at(fs::HFSP::kOrphanName)));
    }
    listed.erase(fs::HFSP::kOrphanName);

    std::vector<fs::EntryRef> files;
    for (const auto& [path, want] : expected) {
        SCOPED_TRACE(path);
        ASSERT_EQ(listed.count(path), 1u);
        const fs::EntryRef e = listed.at(path);
        EXPECT_EQ(e, want.cnid);
        EXPECT_EQ(parser.isFolder(e), want.type == 'd');
        EXPECT_FALSE(parser.isDeleted(e));
        if (want.type != 'd') files.push_back(e);
    }
    const auto saved = savedShas(parser, files);
    for (const auto& [path, want] : expected) {
        if (want.type != 'd') {
            EXPECT_EQ(saved.at(want.cnid), want.sha) << path;
        }
    }
    EXPECT_EQ(listed.size(), expected.size());

    // Times and list texts of one file, as istat gives them: every date is
    // 2022-01-14 07:19:42 UTC and the mode is 0644.
    const fs::EntryRef passwords = listed.at("passwords.txt");
    const fs::EntryTimes t = parser.times(passwords);
    ASSERT_TRUE(t.modified && t.created && t.accessed);
    EXPECT_EQ(t.modified->seconds, 1642144782);
    EXPECT_EQ(parser.describeEntry(passwords).attributes, "-Owner:W-Owner:R-OR-GR");
    EXPECT_EQ(parser.sizeText(passwords), "116 Bytes");
}

INSTANTIATE_TEST_SUITE_P(Modes, HfsVolume,
                         ::testing::Values(
                             VolumeCase{fs::RecoveryMode::Standard, "standard"},
                             VolumeCase{fs::RecoveryMode::Advanced, "advanced"},
                             VolumeCase{fs::RecoveryMode::Deep, "deep"},
                             VolumeCase{fs::RecoveryMode::Standard, "standard_alternate_header", Headers::PrimaryZeroed,
                                        fs::HFSP::kAlternateHeaderText},
                             VolumeCase{fs::RecoveryMode::Advanced, "advanced_alternate_header", Headers::PrimaryZeroed,
                                        fs::HFSP::kAlternateHeaderText},
                             VolumeCase{fs::RecoveryMode::Deep, "deep_alternate_header", Headers::PrimaryZeroed,
                                        fs::HFSP::kAlternateHeaderText},
                             VolumeCase{fs::RecoveryMode::Advanced, "advanced_no_header", Headers::BothZeroed,
                                        fs::HFSP::kNoHeaderText},
                             VolumeCase{fs::RecoveryMode::Deep, "deep_no_header", Headers::BothZeroed,
                                        fs::HFSP::kNoHeaderText}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
