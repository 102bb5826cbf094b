// The whole wizard, offscreen, on a VDI and a stream-optimized VMDK image of the
// NTFS fixture: the reader the content calls for serves the volume list, the
// scan and the save, and the saved files match the fixture's original hashes.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QTreeWidget>

#include <fstream>
#include <map>
#include <sstream>

#include "app/CKeswinApp.h"
#include "app/VolumeScanDlg.h"
#include "support/ConvertedImages.h"
#include "ui/UiTestSupport.h"
#include "ui/qt/EntryTreeModel.h"
#include "ui/qt/QtWizard.h"
#include "ui/qt/ScanPage.h"

namespace tavrel::test {
namespace {

// path -> sha256 of the fixture's original files ("r" rows of the oracle listing).
std::map<std::string, std::string> originalHashes() {
    std::map<std::string, std::string> hashes;
    std::ifstream in(fixturePath("ntfs/ntfs-mbr.expected"));
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream s(line);
        for (std::string field; std::getline(s, field, '\t');) f.push_back(field);
        if (f.size() == 5 && f[0] == "r") hashes[f[4]] = f[3];
    }
    return hashes;
}

TEST(VdiVmdkWizard, ScanAndSaveMatchTheOriginals) {
    qtApp();
    const ConvertedImages* made = convertedImages("ntfs/ntfs-mbr.vhd.xz");
    if (!made) GTEST_SKIP() << "qemu-img not available";
    const auto hashes = originalHashes();
    for (const ConvertedImage& image : made->images) {
        if (image.layout != "dynamic.vdi" && image.layout != "streamOptimized") continue;
        SCOPED_TRACE(image.layout);
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

        ASSERT_TRUE(wizard.start(false, image.path.string()));
        ASSERT_TRUE(click(gui, app::kImageSelectionPage, "next"));
        ASSERT_TRUE(click(gui, app::kScanModePage, "next"));
        auto* volumes = pageControl<QTreeWidget>(gui, app::kVolumeListPage, "volumeList");
        ASSERT_NE(volumes, nullptr);
        ASSERT_GE(volumes->topLevelItemCount(), 1) << (messages.empty() ? "" : messages.back());
        ASSERT_EQ(volumes->topLevelItem(0)->text(1).toStdString(), "NTFS");
        volumes->setCurrentItem(volumes->topLevelItem(0));
        ASSERT_TRUE(click(gui, app::kVolumeListPage, "next"));
        ASSERT_TRUE(click(gui, app::kRecoveryModePage, "next"));
        auto* page = qobject_cast<ui::ScanPage*>(gui.pageWidget(app::kScanPage));
        ASSERT_NE(page, nullptr);
        ASSERT_TRUE(pumpUntil([&] { return shown("Scanning processing done.Select save button to save the data."); }));

        ui::EntryTreeModel& model = *page->treeModel();
        const QModelIndex top = model.index(0, 0);
        for (int r = 0; r < model.rowCount(top); ++r) {
            const QModelIndex i = model.index(r, 0, top);
            const QString name = model.data(i).toString();
            if (name == "small.txt" || name == "a") {
                ASSERT_TRUE(model.setData(i, Qt::Checked, Qt::CheckStateRole));
            }
        }
        ASSERT_TRUE(click(gui, app::kScanPage, app::VolumeScanDlg::kSave));
        ASSERT_TRUE(pumpUntil([&] { return shown("work done\nFiles saved: 3 written, 0 incomplete, 0 failed.\nOpen the output folder?"); }));
        for (const char* path : {"small.txt", "a/b/b.txt", "a/b/c/d/deep.txt"}) {
            ASSERT_TRUE(hashes.count(path)) << path;
            EXPECT_EQ(sha256File(out.path() / path), hashes.at(path)) << path;
        }
    }
}

}  // namespace
}  // namespace tavrel::test
