// The wizard, offscreen, through Advanced mode on the NTFS fixture: the
// recovery mode page's Advanced radio, the advanced options page's hunt and
// combos, and the scan page parsing from the chosen MFT copy.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QStackedWidget>
#include <QTreeWidget>

#include <algorithm>

#include "app/AdvanceOptions.h"
#include "app/VolumeScanDlg.h"
#include "support/TestSupport.h"
#include "ui/UiTestSupport.h"
#include "ui/qt/EntryTreeModel.h"
#include "ui/qt/QtWizard.h"
#include "ui/qt/ScanPage.h"

namespace tavrel::test {
namespace {

using app::advanceOptions;
constexpr int kAdvanced = app::kAdvancedOptionsPage;

TEST(AdvancedWizard, HuntsTheMftAndScansFromTheChosenCopy) {
    qtApp();
    if (!haveTool("xz")) GTEST_SKIP() << "xz missing";
    const auto image = unpackedFixture("ntfs/ntfs-mbr.vhd.xz");
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
    ASSERT_TRUE(wizard.start(false, image.string()));
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

    ASSERT_TRUE(shown("Number of MFT-ENTRY found = 1 . Please select the choice from combo box and click Parse "
                      "button to proceed."));
    auto* candidates = pageControl<QComboBox>(gui, kAdvanced, advanceOptions::kCandidates);
    auto* clusters = pageControl<QComboBox>(gui, kAdvanced, advanceOptions::kClusters);
    ASSERT_TRUE(candidates && clusters);
    EXPECT_EQ(candidates->count(), 1);
    EXPECT_EQ(candidates->currentText().toStdString(), "MFT_ENTRY:0");
    EXPECT_EQ(clusters->currentText().toStdString(), "8");
    EXPECT_TRUE(clusters->isVisibleTo(gui.pageWidget(kAdvanced)));
    EXPECT_FALSE(pageControl<QComboBox>(gui, kAdvanced, advanceOptions::kHeap)->isVisibleTo(gui.pageWidget(kAdvanced)));
    EXPECT_EQ(shownText(gui, kAdvanced, "status"), "Parsing done.Click next to continue.");

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
    for (const char* name : {"frag.bin", "small.txt", "big.bin"})
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;

    ASSERT_TRUE(click(gui, app::kScanPage, "back"));
    EXPECT_EQ(current(), kAdvanced);
    ASSERT_TRUE(click(gui, kAdvanced, "back"));
    EXPECT_EQ(current(), app::kRecoveryModePage);
}

}  // namespace
}  // namespace tavrel::test
