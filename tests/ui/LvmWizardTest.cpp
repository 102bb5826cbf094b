// The whole wizard, offscreen, on a disk whose LVM2 physical volume holds an
// ext4 and an XFS logical volume (tests/fixtures/lvm/make-fixtures.sh): the
// volume list names the XFS one "vg/lv", and its scan and save bring back
// every original file byte for byte.
#include <gtest/gtest.h>

#include <QTreeWidget>

#include <fstream>
#include <map>

#include "app/CKeswinApp.h"
#include "app/VolumeScanDlg.h"
#include "support/TestSupport.h"
#include "ui/UiTestSupport.h"
#include "ui/qt/EntryTreeModel.h"
#include "ui/qt/QtWizard.h"
#include "ui/qt/ScanPage.h"

namespace tavrel::test {
namespace {

TEST(LvmWizard, AnXfsLogicalVolumeIsListedByNameScannedAndSaved) {
    qtApp();
    if (!haveTool("xz")) GTEST_SKIP() << "needs xz";
    const auto image = unpackedFixture("lvm/lvm-mbr.raw.xz");
    std::map<std::string, std::string> originals;  // path -> sha256
    std::ifstream files(fixturePath("lvm/lvm-mbr.files"));
    for (std::string lv, sha, path; files >> lv >> sha && std::getline(files >> std::ws, path);)
        if (lv == "tvmbr/data") originals[path] = sha;
    ASSERT_FALSE(originals.empty());

    TempDir out;
    std::vector<std::string> messages;
    ui::QtWizard wizard;
    ui::QtGui& gui = wizard.gui();
    gui.messageHook = [&messages](const std::string& text, app::Buttons, app::Icon) {
        messages.push_back(text);
        return text.find("of files found inside this folder") != std::string::npos ? app::Answer::Yes
                                                                                      : app::Answer::Ok;
    };
    gui.folderDialogHook = [&out](const std::string&) { return out.path().string(); };
    const auto shown = [&messages](const std::string& t) {
        return std::find(messages.begin(), messages.end(), t) != messages.end();
    };

    ASSERT_TRUE(wizard.start(false, image.string()));
    ASSERT_TRUE(click(gui, app::kImageSelectionPage, "next"));
    ASSERT_TRUE(click(gui, app::kScanModePage, "next"));
    auto* volumes = pageControl<QTreeWidget>(gui, app::kVolumeListPage, "volumeList");
    ASSERT_NE(volumes, nullptr);
    QTreeWidgetItem* row = nullptr;
    for (int i = 0; i < volumes->topLevelItemCount(); ++i)
        if (volumes->topLevelItem(i)->text(0).endsWith(" tvmbr/data")) row = volumes->topLevelItem(i);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->text(1).toStdString(), "XFS");
    volumes->setCurrentItem(row);
    ASSERT_TRUE(click(gui, app::kVolumeListPage, "next"));
    ASSERT_TRUE(click(gui, app::kRecoveryModePage, "next"));
    auto* page = qobject_cast<ui::ScanPage*>(gui.pageWidget(app::kScanPage));
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return shown("Scanning processing done.Select save button to save the data."); }))
        << (messages.empty() ? "" : messages.back());

    ui::EntryTreeModel& model = *page->treeModel();
    for (int r = 0; r < model.rowCount(QModelIndex()); ++r)
        ASSERT_TRUE(model.setData(model.index(r, 0), Qt::Checked, Qt::CheckStateRole));
    ASSERT_TRUE(click(gui, app::kScanPage, app::VolumeScanDlg::kSave));
    // Every file written whole: no incomplete or failed one in the end message.
    ASSERT_TRUE(pumpUntil([&] {
        return std::any_of(messages.begin(), messages.end(), [](const std::string& m) {
            return m.starts_with("work done\nFiles saved: ") &&
                   m.ends_with(" written, 0 incomplete, 0 failed.\nOpen the output folder?");
        });
    })) << (messages.empty() ? "" : messages.back());
    for (const auto& [path, sha] : originals) EXPECT_EQ(sha256File(out.path() / path), sha) << path;
}

}  // namespace
}  // namespace tavrel::test
