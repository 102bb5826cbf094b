// The advanced options page through its controller and the recording Gui, on a
// volume mkntfs formatted over an older one: the hunt's texts and combos, Next
// to the scan page parsing from the chosen MFT, Back both ways, and the
// recovery mode page refusing Advanced for a volume of no known kind. FAT32 and
// exFAT fixtures whose boot sectors were zeroed go the same way, exFAT with its
// heap-offset combo.
#include <gtest/gtest.h>

#include <random>

#include "app/advanceOptions.h"
#include "app/CKeswinApp.h"
#include "app/FakeGui.h"
#include "app/PageFactory.h"
#include "app/ParceModeNtfsDlg.h"
#include "app/VolumeScanDlg.h"
#include "fs/ntfs/ntfs.h"
#include "image/MemoryImage.h"
#include "support/DamagedFatFixture.h"
#include "support/TestSupport.h"

namespace tavrel::test {
namespace {

using app::advanceOptions;
using app::ParceModeNtfsDlg;
constexpr int kMode = app::kRecoveryModePage;
constexpr int kPage = app::kAdvancedOptionsPage;

class AdvancedOptionsTest : public ::testing::Test {
protected:
    // The recovery mode page for fsName, with Advanced chosen and Next pressed.
    void toAdvanced(const std::string& fsName, std::int64_t startSector = 0, std::int64_t sectorCount = 32768) {
        VolumeRecord record;
        record.fsName = fsName;
        record.volumeName = "1";
        record.startSector = startSector;
        record.sectorCount = sectorCount;
        app.forward(app::makeRecoveryModePage(app, record));
        gui.userSetChecked(kMode, ParceModeNtfsDlg::kStandard, false);
        gui.userSetChecked(kMode, ParceModeNtfsDlg::kAdvanced, true);
        app.visiblePage()->command(ParceModeNtfsDlg::kAdvanced);
        app.visiblePage()->next();
    }
    bool makeVolume() {
        std::mt19937 random(5);
        std::vector<std::uint8_t> bytes(70000);
        for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
        writeFileBytes(dir / "old.bin", bytes);
        const auto image = dir / "volume.img";
        if (!makeReformattedNtfs(image, {{dir / "old.bin", "old.bin"}}, {})) return false;
        app.currentReader = std::make_unique<MemoryImage>(readFileBytes(image));
        return true;
    }

    TempDir dir;
    FakeGui gui;
    app::CKeswinApp app{gui};
};

TEST_F(AdvancedOptionsTest, HuntOffersEveryMftAndTheScanParsesTheChosenOne) {
    if (!makeVolume()) GTEST_SKIP() << "mkntfs and ntfscp are needed";
    toAdvanced("NTFS");
    auto* page = dynamic_cast<advanceOptions*>(app.visiblePage());
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(gui.runPostedUntil([page] { return !page->hunting(); }));

    EXPECT_EQ(gui.lastMessage(),
              "Number of MFT-ENTRY found = 2 . Please select the choice from combo box and click Parse button to "
              "proceed.");
    EXPECT_EQ(gui.control(kPage, advanceOptions::kCandidates).items,
              (std::vector<std::string>{"MFT_ENTRY:0", "MFT_ENTRY:1"}));
    EXPECT_EQ(gui.textOf(kPage, advanceOptions::kCandidates), "MFT_ENTRY:0");
    // The usual six, after the older MFT's learnt 128; the first MFT's learnt 8
    // is preselected.
    EXPECT_EQ(gui.control(kPage, advanceOptions::kClusters).items,
              (std::vector<std::string>{"128", "8", "4", "2", "16", "32", "64"}));
    EXPECT_EQ(gui.textOf(kPage, advanceOptions::kClusters), "8");
    EXPECT_EQ(gui.textOf(kPage, "status"), "Parsing done.Click next to continue.");
    EXPECT_TRUE(gui.textHistory(kPage, "status").front() == "ntfs partition selected....");
    for (const char* id : {"next", "back"}) EXPECT_TRUE(gui.enabled(kPage, id)) << id;
    for (const char* id : {"progress", "pause", "resume", "stop"}) EXPECT_FALSE(gui.visible(kPage, id)) << id;
    EXPECT_FALSE(gui.visible(kPage, advanceOptions::kHeap));

    // The older MFT, with its 64 KiB clusters.
    gui.userSetText(kPage, advanceOptions::kCandidates, "MFT_ENTRY:1");
    gui.userSetText(kPage, advanceOptions::kClusters, "128");
    page->next();
    auto* scan = dynamic_cast<app::VolumeScanDlg*>(app.visiblePage());
    ASSERT_NE(scan, nullptr);
    ASSERT_TRUE(gui.runPostedUntil([scan] { return !scan->running(); }));
    fs::Parser& parser = *scan->activeParser();
    std::vector<std::string> names;
    for (const fs::EntryRef e : parser.rootLevel()) names.push_back(parser.name(e));
    EXPECT_NE(std::find(names.begin(), names.end(), "old.bin"), names.end());
    EXPECT_EQ(gui.lastMessage(), app::scantexts::kScanDone);

    scan->back();
    EXPECT_EQ(app.visiblePage(), page);
    EXPECT_EQ(gui.textOf(kPage, advanceOptions::kCandidates), "MFT_ENTRY:1");

    // A size that does not fit the chosen MFT's runs: the scan warns.
    gui.userSetText(kPage, advanceOptions::kClusters, "8");
    page->next();
    scan = dynamic_cast<app::VolumeScanDlg*>(app.visiblePage());
    ASSERT_NE(scan, nullptr);
    ASSERT_TRUE(gui.runPostedUntil([scan] { return !scan->running(); }));
    EXPECT_EQ(gui.lastMessage(), fs::ntfs::kClusterMismatchText);
    EXPECT_NE(gui.textOf(app::kScanPage, "status").find(fs::ntfs::kClusterMismatchText), std::string::npos);
    scan->back();
    page->back();
    EXPECT_EQ(app.visiblePage()->pageId(), kMode);
}

// Volumes mkntfs made with 2 KiB and 64 KiB clusters: the size the hunt learnt
// is preselected (64 KiB, 128 sectors, is added before the usual six), and the
// scan from it lists the file without a warning.
TEST_F(AdvancedOptionsTest, LearntClusterSizeIsPreselected) {
    const struct {
        int clusterSize;
        const char* learnt;
        std::vector<std::string> items;
    } cases[] = {
        {2048, "4", {"8", "4", "2", "16", "32", "64"}},
        {65536, "128", {"128", "8", "4", "2", "16", "32", "64"}},
    };
    writeFileBytes(dir / "file.bin", std::vector<std::uint8_t>(10000, 0x42));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.clusterSize);
        const auto image = dir / ("volume" + std::to_string(c.clusterSize) + ".img");
        if (!formatNtfs(image, 16 << 20, c.clusterSize, {{dir / "file.bin", "file.bin"}}))
            GTEST_SKIP() << "mkntfs and ntfscp are needed";
        app.currentReader = std::make_unique<MemoryImage>(readFileBytes(image));
        toAdvanced("NTFS");
        auto* page = dynamic_cast<advanceOptions*>(app.visiblePage());
        ASSERT_NE(page, nullptr);
        ASSERT_TRUE(gui.runPostedUntil([page] { return !page->hunting(); }));
        EXPECT_EQ(gui.control(kPage, advanceOptions::kClusters).items, c.items);
        EXPECT_EQ(gui.textOf(kPage, advanceOptions::kClusters), c.learnt);

        page->next();
        auto* scan = dynamic_cast<app::VolumeScanDlg*>(app.visiblePage());
        ASSERT_NE(scan, nullptr);
        ASSERT_TRUE(gui.runPostedUntil([scan] { return !scan->running(); }));
        EXPECT_EQ(gui.lastMessage(), app::scantexts::kScanDone);
        fs::Parser& parser = *scan->activeParser();
        std::vector<std::string> names;
        for (const fs::EntryRef e : parser.rootLevel()) names.push_back(parser.name(e));
        EXPECT_NE(std::find(names.begin(), names.end(), "file.bin"), names.end());
        scan->back();
        page->back();
        app.visiblePage()->back();  // to the page before the recovery mode page
    }
}

TEST_F(AdvancedOptionsTest, FatVolumesWithoutBootSectorGoFromTheHuntToTheScan) {
    const struct {
        const char *fixture, *fsName, *message, *item, *cluster;
        bool heap;
    } cases[] = {
        {"fat32-512", "FAT32",
         "Number of FAT32-ENTRY found = 2 . Please select the choice from combo box and click Parse button to proceed.",
         "FAT32_ENTRY:0", "1", false},
        {"exfat", "FAT64",
         "Number of FAT64-ENTRY found = 1 and Number of HeapOffset-ENTRY found =  1  . Please select the choice from ( "
         "Entry and Heap ) Combobox and click Parse button to proceed.",
         "FAT64_ENTRY:0", "3", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture);
        TempDir disks;
        const DamagedFatDisk disk = damagedFatDisk(c.fixture, disks);
        if (disk.raw.empty()) GTEST_SKIP() << "qemu-img and fsstat are needed";
        app.currentReader = std::make_unique<MemoryImage>(readFileBytes(disk.raw));
        toAdvanced(c.fsName, kDamagedVolumeSector, disk.volumeSectors);
        auto* page = dynamic_cast<advanceOptions*>(app.visiblePage());
        ASSERT_NE(page, nullptr);
        ASSERT_TRUE(gui.runPostedUntil([page] { return !page->hunting(); }));
        EXPECT_EQ(gui.lastMessage(), c.message);
        EXPECT_EQ(gui.textOf(kPage, advanceOptions::kCandidates), c.item);
        EXPECT_EQ(gui.textOf(kPage, advanceOptions::kClusters), c.cluster);  // the size the hunt learnt
        EXPECT_EQ(gui.visible(kPage, advanceOptions::kHeap), c.heap);
        if (c.heap) {
            EXPECT_EQ(gui.textOf(kPage, advanceOptions::kHeap), "HEAP_OFFSET_ENTRY:0");
            EXPECT_EQ(gui.textOf(kPage, advanceOptions::kCandidateLabel), "Total fat64 Entries Found:");
        }
        EXPECT_EQ(gui.textOf(kPage, "status"), "Parsing done.Click Next to continue.");

        page->next();
        auto* scan = dynamic_cast<app::VolumeScanDlg*>(app.visiblePage());
        ASSERT_NE(scan, nullptr);
        ASSERT_TRUE(gui.runPostedUntil([scan] { return !scan->running(); }));
        fs::Parser& parser = *scan->activeParser();
        std::vector<std::string> names;
        for (const fs::EntryRef e : parser.rootLevel()) names.push_back(parser.name(e));
        EXPECT_NE(std::find(names.begin(), names.end(), "README"), names.end());
        scan->back();
        page->back();
        app.visiblePage()->back();  // to the page before the recovery mode page
    }
}

TEST_F(AdvancedOptionsTest, NoCandidateRefusesNext) {
    app.currentReader = std::make_unique<MemoryImage>(std::vector<std::uint8_t>(1 << 20));
    toAdvanced("NTFS");
    auto* page = dynamic_cast<advanceOptions*>(app.visiblePage());
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(gui.runPostedUntil([page] { return !page->hunting(); }));
    EXPECT_EQ(gui.lastMessage().rfind("Number of MFT-ENTRY found = 0 .", 0), 0u);
    page->next();
    EXPECT_EQ(gui.lastMessage(), "No File system Entry Found.Process cannot be continue...");
    EXPECT_EQ(app.visiblePage(), page);
}

TEST_F(AdvancedOptionsTest, VolumeOfNoKnownKindIsRefusedBeforeThePage) {
    toAdvanced("CUSTOM ");
    EXPECT_EQ(app.visiblePage()->pageId(), kMode);
    EXPECT_EQ(gui.lastMessage(), app::advancedtexts::kNotAdvanced);
}

}  // namespace
}  // namespace tavrel::test
