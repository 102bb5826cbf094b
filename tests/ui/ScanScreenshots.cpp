// Screenshots of the wizard's pages on samples/demo.vhd (and the recovery mode page
// of a FAT32 fixture), for the README and the manual: runs
// only when TAVREL_SCREENSHOTS_DIR names the folder to write the PNG files into
// (scripts/screenshots.sh sets it and starts this under a virtual X server).
#include <gtest/gtest.h>

#include <QPixmap>
#include <QStackedWidget>
#include <QTreeView>
#include <QTreeWidget>

#include <cstdlib>
#include <filesystem>

#include "app/RawRecoveryDialog.h"
#include "app/VolumeScanDlg.h"
#include "support/TestSupport.h"
#include "ui/UiTestSupport.h"
#include "ui/qt/EntryTreeModel.h"
#include "ui/qt/QtWizard.h"
#include "ui/qt/RawRecoveryPage.h"
#include "ui/qt/RawSettingDialog.h"
#include "ui/qt/ScanPage.h"

namespace tavrel::test {
namespace {

namespace fsys = std::filesystem;

TEST(ScanScreenshots, WizardPagesOnTheDemoImage) {
    const char* dirVar = std::getenv("TAVREL_SCREENSHOTS_DIR");
    if (!dirVar || !*dirVar) GTEST_SKIP() << "TAVREL_SCREENSHOTS_DIR not set";
    const fsys::path dir(dirVar);
    const fsys::path demo = fsys::path(TAVREL_SOURCE_DIR) / "samples" / "demo.vhd";
    if (!fsys::exists(demo)) GTEST_SKIP() << "samples/demo.vhd missing";
    fsys::create_directories(dir);

    qtApp();
    ui::QtWizard wizard;
    std::vector<std::string> messages;
    wizard.gui().messageHook = [&](const std::string& text, app::Buttons, app::Icon) {
        messages.push_back(text);
        return app::Answer::Ok;
    };
    auto shot = [&](const std::string& name) {
        QCoreApplication::processEvents();
        const QPixmap pixmap = wizard.window().grab();
        ASSERT_TRUE(pixmap.save(QString::fromStdString((dir / name).string()), "PNG")) << name;
    };
    ui::QtGui& gui = wizard.gui();
    auto seen = [&](const std::string& text) { return std::find(messages.begin(), messages.end(), text) != messages.end(); };
    auto current = [&] {
        auto* page = qobject_cast<ui::PageWidget*>(wizard.window().stack()->currentWidget());
        return page ? page->pageId() : 0;
    };

    ASSERT_TRUE(wizard.start(false, demo.string()));
    wizard.window().resize(wizard.window().size().expandedTo(QSize(900, 560)));
    shot("1-image-selection.png");
    ASSERT_TRUE(click(wizard.gui(), app::kImageSelectionPage, "next"));
    shot("2-scan-mode.png");
    ASSERT_TRUE(click(wizard.gui(), app::kScanModePage, "next"));
    ASSERT_EQ(current(), app::kVolumeListPage);
    auto* volumes = pageControl<QTreeWidget>(wizard.gui(), app::kVolumeListPage, "volumeList");
    ASSERT_TRUE(volumes && volumes->topLevelItemCount() > 0);
    volumes->setCurrentItem(volumes->topLevelItem(0));
    shot("3-volume-list.png");
    ASSERT_TRUE(click(wizard.gui(), app::kVolumeListPage, "next"));
    ASSERT_EQ(current(), app::kRecoveryModePage);
    shot("4-recovery-mode.png");
    ASSERT_TRUE(click(wizard.gui(), app::kRecoveryModePage, "next"));
    ASSERT_EQ(current(), app::kScanPage);
    const std::string done = app::scantexts::kScanDone;
    ASSERT_TRUE(pumpUntil([&] { return std::find(messages.begin(), messages.end(), done) != messages.end(); }));

    // Open the first folder with files in it and list them.
    auto* page = qobject_cast<ui::ScanPage*>(wizard.gui().pageWidget(app::kScanPage));
    ASSERT_NE(page, nullptr);
    ui::EntryTreeModel& model = *page->treeModel();
    const QModelIndex top = model.index(0, 0);
    for (const char* name : {"Documents", "Old stuff"}) {
        for (int r = 0; r < model.rowCount(top); ++r) {
            const QModelIndex i = model.index(r, 0, top);
            if (model.data(i).toString() != QLatin1String(name)) continue;
            page->treeView()->expand(i);
            if (std::string(name) == "Documents") page->treeView()->setCurrentIndex(i);
        }
    }
    shot("5-scan-page.png");

    // A search over the whole volume, its results listed.
    gui.setText(app::kScanPage, app::VolumeScanDlg::kSearchText, "beach|letter");
    ASSERT_TRUE(click(gui, app::kScanPage, app::VolumeScanDlg::kSearch));
    ASSERT_TRUE(pumpUntil([&] { return seen("Searching Finished"); }));
    shot("6-search.png");

    // Raw recovery: the volume treated as RAW, the shipped rules, a category listed.
    ASSERT_TRUE(click(gui, app::kScanPage, "back"));
    ASSERT_TRUE(click(gui, app::kRecoveryModePage, "back"));
    ASSERT_EQ(current(), app::kVolumeListPage);
    volumes->setCurrentItem(volumes->topLevelItem(0));
    ASSERT_TRUE(click(gui, app::kVolumeListPage, "customCheck"));
    gui.setText(app::kVolumeListPage, "treatAs", "RAW");
    ASSERT_TRUE(click(gui, app::kVolumeListPage, "next"));
    ASSERT_EQ(current(), app::kRawRecoveryPage);
    auto* raw = dynamic_cast<app::RawRecoveryDialog*>(wizard.app().page(app::kRawRecoveryPage));
    ASSERT_NE(raw, nullptr);
    raw->defaultRulePath = (fsys::path(TAVREL_BINARY_DIR) / "FileSetting.txt").string();
    gui.setText(app::kRawRecoveryPage, app::RawRecoveryDialog::kRuleFile, raw->defaultRulePath);
    ASSERT_TRUE(click(gui, app::kRawRecoveryPage, app::RawRecoveryDialog::kParse));
    ASSERT_TRUE(pumpUntil([&] { return seen("done.."); }));
    QCoreApplication::processEvents();
    QTreeWidget* found = qobject_cast<ui::RawRecoveryPage*>(gui.pageWidget(app::kRawRecoveryPage))->tree();
    QTreeWidgetItem* categories = found->topLevelItem(0);
    ASSERT_NE(categories, nullptr);
    for (int i = 0; i < categories->childCount(); ++i)
        if (categories->child(i)->text(0).startsWith(QStringLiteral("Pictures"))) found->setCurrentItem(categories->child(i));
    shot("7-raw-recovery.png");
    {
        ui::RawSettingDialog setting(raw->settingPage(), &wizard.window());
        setting.show();
        QCoreApplication::processEvents();
        ASSERT_TRUE(setting.grab().save(QString::fromStdString((dir / "8-raw-setting.png").string()), "PNG"));
    }

    // The recovery mode page for a FAT32 volume: Standard and Advanced only.
    if (!haveTool("xz")) return;
    const fsys::path fat = unpackedFixture("fat/fat32-512.vhd.xz");
    ui::QtWizard fatWizard;
    fatWizard.gui().messageHook = wizard.gui().messageHook;
    ASSERT_TRUE(fatWizard.start(false, fat.string()));
    fatWizard.window().resize(wizard.window().size());
    ASSERT_TRUE(click(fatWizard.gui(), app::kImageSelectionPage, "next"));
    ASSERT_TRUE(click(fatWizard.gui(), app::kScanModePage, "next"));
    auto* fatVolumes = pageControl<QTreeWidget>(fatWizard.gui(), app::kVolumeListPage, "volumeList");
    ASSERT_TRUE(fatVolumes && fatVolumes->topLevelItemCount() > 0);
    fatVolumes->setCurrentItem(fatVolumes->topLevelItem(0));
    ASSERT_TRUE(click(fatWizard.gui(), app::kVolumeListPage, "next"));
    QCoreApplication::processEvents();
    ASSERT_TRUE(fatWizard.window().grab().save(QString::fromStdString((dir / "4b-recovery-mode-fat.png").string()), "PNG"));
}

}  // namespace
}  // namespace tavrel::test
