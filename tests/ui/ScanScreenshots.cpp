// Screenshots of the wizard's pages on samples/demo.vhd, for the README: runs
// only when TAVREL_SCREENSHOTS_DIR names the folder to write the PNG files into
// (scripts/screenshots.sh sets it and starts this under a virtual X server).
#include <gtest/gtest.h>

#include <QPixmap>
#include <QStackedWidget>
#include <QTreeView>
#include <QTreeWidget>

#include <cstdlib>
#include <filesystem>

#include "app/VolumeScanDlg.h"
#include "support/TestSupport.h"
#include "ui/UiTestSupport.h"
#include "ui/qt/EntryTreeModel.h"
#include "ui/qt/QtWizard.h"
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
}

}  // namespace
}  // namespace tavrel::test
