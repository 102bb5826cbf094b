// The wizard, offscreen, through Advanced mode on the NTFS fixture and on the
// FAT32 fixture with its boot sectors zeroed: the recovery mode page's Advanced
// radio, the advanced options page's hunt and combos, and the scan page parsing
// from the chosen copy.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QUrl>
#include <QStackedWidget>
#include <QTreeWidget>

#include <algorithm>

#include "app/advanceOptions.h"
#include "app/VolumeScanDlg.h"
#include "support/DamagedFatFixture.h"
#include "support/TestSupport.h"
#include "ui/UiTestSupport.h"
#include "ui/qt/EntryTreeModel.h"
#include "ui/qt/QtWizard.h"
#include "ui/qt/ScanPage.h"

namespace tavrel::test {
namespace {

using app::advanceOptions;
constexpr int kAdvanced = app::kAdvancedOptionsPage;

struct Case {
    std::string image;
    const char *message, *candidate, *cluster, *status;
    std::vector<const char*> names;
};

void huntAndScan(const Case& c) {
    const std::string image = c.image;
    ui::QtWizard wizard;
    std::vector<std::string> messages;
    wizard.gui().messageHook = [&](const std::string& text, app::Buttons, app::Icon) {
        messages.push_back(text);
        return app::Answer::Ok;
    };
    auto current = [&] {
        auto* page = qobject_cast<ui::PageWidget*>(wizard.window().stack()->currentWidget());
        return page ? page->pageId() : 0;
    };
    auto shown = [&](const std::string& text) {
        return pumpUntil([&] { return std::find(messages.begin(), messages.end(), text) != messages.end(); });
    };
    ui::QtGui& gui = wizard.gui();
    ASSERT_TRUE(wizard.start(false, image));
    ASSERT_TRUE(click(gui, app::kImageSelectionPage, "next"));
    ASSERT_TRUE(click(gui, app::kScanModePage, "next"));
    auto* volumes = pageControl<QTreeWidget>(gui, app::kVolumeListPage, "volumeList");
    ASSERT_TRUE(volumes && volumes->topLevelItemCount() >= 1);
    volumes->setCurrentItem(volumes->topLevelItem(0));
    ASSERT_TRUE(click(gui, app::kVolumeListPage, "next"));
    ASSERT_EQ(current(), app::kRecoveryModePage);
    ASSERT_TRUE(click(gui, app::kRecoveryModePage, "advanced"));
    ASSERT_TRUE(click(gui, app::kRecoveryModePage, "next"));
    ASSERT_EQ(current(), kAdvanced);

    ASSERT_TRUE(shown(c.message));
    auto* candidates = pageControl<QComboBox>(gui, kAdvanced, advanceOptions::kCandidates);
    auto* clusters = pageControl<QComboBox>(gui, kAdvanced, advanceOptions::kClusters);
    ASSERT_TRUE(candidates && clusters);
    EXPECT_EQ(candidates->currentText().toStdString(), c.candidate);
    EXPECT_EQ(clusters->currentText().toStdString(), c.cluster);
    EXPECT_TRUE(clusters->isVisibleTo(gui.pageWidget(kAdvanced)));
    EXPECT_FALSE(pageControl<QComboBox>(gui, kAdvanced, advanceOptions::kHeap)->isVisibleTo(gui.pageWidget(kAdvanced)));
    EXPECT_EQ(shownText(gui, kAdvanced, "status"), c.status);

    ASSERT_TRUE(click(gui, kAdvanced, "next"));
    ASSERT_EQ(current(), app::kScanPage);
    ASSERT_TRUE(shown("Scanning processing done.Select save button to save the data."));
    auto* scan = qobject_cast<ui::ScanPage*>(gui.pageWidget(app::kScanPage));
    ASSERT_NE(scan, nullptr);
    ui::EntryTreeModel& model = *scan->treeModel();
    const QModelIndex top = model.index(0, 0);
    std::vector<std::string> names;
    for (int r = 0; r < model.rowCount(top); ++r)
        names.push_back(model.data(model.index(r, 0, top)).toString().toStdString());
    for (const char* name : c.names)
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;

    ASSERT_TRUE(click(gui, app::kScanPage, "back"));
    EXPECT_EQ(current(), kAdvanced);
    ASSERT_TRUE(click(gui, kAdvanced, "back"));
    EXPECT_EQ(current(), app::kRecoveryModePage);
}

TEST(AdvancedWizard, HuntsAndScansFromTheChosenCopy) {
    qtApp();
    if (!haveTool("xz")) GTEST_SKIP() << "xz missing";
    {
        SCOPED_TRACE("ntfs");
        huntAndScan({unpackedFixture("ntfs/ntfs-mbr.vhd.xz").string(),
                     "Number of MFT-ENTRY found = 1 . Please select the choice from combo box and click Parse button "
                     "to proceed.",
                     "MFT_ENTRY:0", "8", "Parsing done.Click next to continue.", {"frag.bin", "small.txt", "big.bin"}});
    }
    TempDir dir;
    const DamagedFatDisk fat32 = damagedFatDisk("fat32-512", dir);
    if (fat32.raw.empty()) GTEST_SKIP() << "qemu-img and fsstat are needed";
    SCOPED_TRACE("fat32");
    huntAndScan({fat32.raw.string(),
                 "Number of FAT32-ENTRY found = 2 . Please select the choice from combo box and click Parse button to "
                 "proceed.",
                 "FAT32_ENTRY:0", "1", "Parsing done.Click Next to continue.", {"README", "docs", "big"}});
}

// No dead end: Standard mode on the FAT32 volume without boot sectors says that
// Advanced mode hunts for the FAT copies, and the recovery mode page's Help
// opens the manual page that tells how raw recovery is reached.
TEST(AdvancedWizard, StandardWithoutBootSectorsPointsToAdvancedAndHelpToRaw) {
    qtApp();
    TempDir dir;
    const DamagedFatDisk fat32 = damagedFatDisk("fat32-512", dir);
    if (fat32.raw.empty()) GTEST_SKIP() << "qemu-img and fsstat are needed";
    ui::QtWizard wizard;
    std::vector<std::string> messages;
    std::vector<QUrl> urls;
    ui::QtGui& gui = wizard.gui();
    gui.messageHook = [&](const std::string& text, app::Buttons, app::Icon) {
        messages.push_back(text);
        return app::Answer::Ok;
    };
    gui.urlHook = [&](const QUrl& url) { urls.push_back(url); };
    ASSERT_TRUE(wizard.start(false, fat32.raw.string()));
    ASSERT_TRUE(click(gui, app::kImageSelectionPage, "next"));
    ASSERT_TRUE(click(gui, app::kScanModePage, "next"));
    auto* volumes = pageControl<QTreeWidget>(gui, app::kVolumeListPage, "volumeList");
    ASSERT_TRUE(volumes && volumes->topLevelItemCount() >= 1);
    volumes->setCurrentItem(volumes->topLevelItem(0));
    ASSERT_TRUE(click(gui, app::kVolumeListPage, "next"));

    pageControl<QPushButton>(gui, app::kRecoveryModePage, "help")->menu()->actions()[0]->trigger();
    ASSERT_EQ(urls.size(), 1u);
    EXPECT_TRUE(urls[0].toLocalFile().endsWith("/manual/recovering.html"));
    QFile manual(urls[0].toLocalFile());
    ASSERT_TRUE(manual.open(QIODevice::ReadOnly));
    EXPECT_TRUE(manual.readAll().contains("Treat file system as: RAW"));

    ASSERT_TRUE(click(gui, app::kRecoveryModePage, "next"));
    const std::string expected =
        "Selected Drive is not in Fat32 Format\nAdvanced mode hunts for the FAT copies and may still find the "
        "files: go Back and choose Advanced.";
    EXPECT_TRUE(pumpUntil([&] { return std::find(messages.begin(), messages.end(), expected) != messages.end(); }))
        << (messages.empty() ? "" : messages.back());
}

}  // namespace
}  // namespace tavrel::test
