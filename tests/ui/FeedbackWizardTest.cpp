// What the wizard tells the user, offscreen: the scan page's status when its scan
// ends, the counts at the end of a save and where the files are when no program
// opens folders, empty time cells for entries without times, names without
// control characters; and the keyboard: Esc closes message boxes, dialogs and the
// manual window, and every labelled button has a mnemonic of its own.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <set>

#include "app/CKeswinApp.h"
#include "app/RawSettingDlg.h"
#include "app/SaveEnd.h"
#include "app/VolumeScanDlg.h"
#include "support/TestSupport.h"
#include "ui/UiTestSupport.h"
#include "ui/qt/FileListModel.h"
#include "ui/qt/EntryTreeModel.h"
#include "ui/qt/ManualWindow.h"
#include "ui/qt/Mnemonics.h"
#include "ui/qt/QtWizard.h"
#include "ui/qt/RawSettingDialog.h"
#include "ui/qt/ScanPage.h"

namespace tavrel::test {
namespace {

namespace fsys = std::filesystem;
using app::VolumeScanDlg;
constexpr int kScan = app::kScanPage;

class FeedbackWizardTest : public ::testing::Test {
protected:
    void SetUp() override {
        qtApp();
        wizard = std::make_unique<ui::QtWizard>();
        gui().messageHook = [this](const std::string& text, app::Buttons, app::Icon) {
            messages.push_back(text);
            statusAtMessage.push_back(shownText(gui(), kScan, VolumeScanDlg::kStatus));
            return app::Answer::Yes;
        };
        gui().folderDialogHook = [this](const std::string&) { return out.path().string(); };
    }
    void TearDown() override { wizard.reset(); }

    ui::QtGui& gui() { return wizard->gui(); }
    bool shown(const std::string& text) { return std::find(messages.begin(), messages.end(), text) != messages.end(); }

    // Image, scan mode (the advanced scan finds a volume without a partition
    // table), the volume list's first volume, Standard mode, scan page.
    ui::ScanPage* scanPage(const fsys::path& image, bool advancedScan = false) {
        if (!wizard->start(false, image.string())) return nullptr;
        if (!click(gui(), app::kImageSelectionPage, "next")) return nullptr;
        if (advancedScan && !click(gui(), app::kScanModePage, "advanceScan")) return nullptr;
        if (!click(gui(), app::kScanModePage, "next")) return nullptr;
        if (advancedScan && !pumpUntil([&] { return shown("populated partitions...."); })) return nullptr;
        auto* volumes = pageControl<QTreeWidget>(gui(), app::kVolumeListPage, "volumeList");
        if (!volumes || volumes->topLevelItemCount() == 0) return nullptr;
        volumes->setCurrentItem(volumes->topLevelItem(0));
        for (const int page : {app::kVolumeListPage, app::kRecoveryModePage})
            if (!click(gui(), page, "next")) return nullptr;
        return qobject_cast<ui::ScanPage*>(gui().pageWidget(kScan));
    }
    // The row of a top-level entry in the file list, after ROOT was selected.
    int listRow(ui::ScanPage& page, const QString& name) {
        page.treeView()->setCurrentIndex(page.treeModel()->index(0, 0));
        QCoreApplication::processEvents();
        ui::FileListModel& list = *page.listModel();
        for (int r = 0; r < list.rowCount(); ++r)
            if (list.data(list.index(r, 0)).toString() == name) return r;
        return -1;
    }

    TempDir out;
    std::unique_ptr<ui::QtWizard> wizard;
    std::vector<std::string> messages;
    std::vector<std::string> statusAtMessage;
};

// NTFS: the status line says the scan ended while its message shows; $MFT keeps
// empty time cells; the save's end counts what was written and, with no program
// for folders, says where the files are.
TEST_F(FeedbackWizardTest, NtfsScanAndSaveSayWhatHappened) {
    if (!fsys::exists(fixturePath("ntfs/ntfs-mbr.vhd.xz")) || !haveTool("xz")) GTEST_SKIP() << "no NTFS fixture";
    const fsys::path image = unpackedFixture("ntfs/ntfs-mbr.vhd.xz");
    ui::ScanPage* page = scanPage(image);
    ASSERT_NE(page, nullptr);
    const std::string done = app::scantexts::kScanDone;
    ASSERT_TRUE(pumpUntil([&] { return shown(done); }));
    EXPECT_EQ(statusAtMessage[static_cast<std::size_t>(std::find(messages.begin(), messages.end(), done) -
                                                         messages.begin())],
              done);
    QCoreApplication::processEvents();

    const int mft = listRow(*page, QStringLiteral("$MFT"));
    ASSERT_GE(mft, 0);
    ui::FileListModel& list = *page->listModel();
    for (const int column : {1, 2, 3}) EXPECT_EQ(list.data(list.index(mft, column)).toString(), "") << column;
    const int small = listRow(*page, QStringLiteral("small.txt"));
    ASSERT_GE(small, 0);
    EXPECT_TRUE(list.data(list.index(small, 1)).toString().contains(QStringLiteral("/")));  // a real date

    std::vector<QUrl> asked;
    gui().desktopOpen = [&](const QUrl& url) {
        asked.push_back(url);
        return false;
    };
    ASSERT_TRUE(list.setData(list.index(small, 0), Qt::Checked, Qt::CheckStateRole));
    messages.clear();
    ASSERT_TRUE(click(gui(), kScan, VolumeScanDlg::kSave));
    const std::string nowhere = std::string(app::texts::kNoFolderProgram) + "\n" + out.path().string();
    ASSERT_TRUE(pumpUntil([&] { return shown(nowhere); }));
    EXPECT_TRUE(shown("work done\nFiles saved: 1 written, 0 incomplete, 0 failed.\nOpen the output folder?"));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].toLocalFile().toStdString(), out.path().string());
}

// HFS+: the private folder's name begins with four NULs and shows without them.
TEST_F(FeedbackWizardTest, HfsNamesShowWithoutControlCharacters) {
    if (!fsys::exists(fixturePath("hfsplus/hfsplus-macos.raw.xz")) || !haveTool("xz"))
        GTEST_SKIP() << "no HFS+ fixture";
    ui::ScanPage* page = scanPage(unpackedFixture("hfsplus/hfsplus-macos.raw.xz"), true);
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return shown(app::scantexts::kScanDone); }));
    QCoreApplication::processEvents();
    ui::EntryTreeModel& model = *page->treeModel();
    const QModelIndex top = model.index(0, 0);
    std::set<std::string> names;
    for (int r = 0; r < model.rowCount(top); ++r) {
        const QString name = model.data(model.index(r, 0, top)).toString();
        EXPECT_FALSE(std::any_of(name.begin(), name.end(), [](QChar c) { return c.unicode() < 0x20; }))
            << name.toStdString();
        names.insert(name.toStdString());
    }
    EXPECT_TRUE(names.count("HFS+ Private Data"));
    EXPECT_TRUE(names.count("passwords.txt"));
}

// Esc on the window in front closes it, after the event loop shows it.
template <typename Show>
void escapeCloses(Show show) {
    QTimer::singleShot(0, [] {
        QWidget* front = QApplication::activeModalWidget();
        if (front) QTest::keyClick(front, Qt::Key_Escape);
    });
    QTimer::singleShot(5000, [] {
        if (QWidget* front = QApplication::activeModalWidget()) front->close();  // a hang fails, not stalls
    });
    show();
}

TEST_F(FeedbackWizardTest, EscClosesMessageBoxesDialogsAndTheManual) {
    gui().messageHook = nullptr;
    ASSERT_TRUE(wizard->start(false));
    wizard->window().show();

    app::Answer answer = app::Answer::Yes;
    escapeCloses([&] { answer = gui().messageBox("question", app::Buttons::YesNo, app::Icon::Question); });
    EXPECT_EQ(answer, app::Answer::No);
    bool closed = false;
    escapeCloses([&] {
        gui().messageBox("note", app::Buttons::Ok, app::Icon::Information);
        closed = true;
    });
    EXPECT_TRUE(closed);
    escapeCloses([&] { gui().showAbout(); });

    ui::RawSettingDialog dialog(app::RawSettingDlg(gui()), &wizard->window());
    int result = -1;
    escapeCloses([&] { result = dialog.exec(); });
    EXPECT_EQ(result, QDialog::Rejected);

    gui().desktopOpen = [](const QUrl&) { return false; };
    gui().openManual(app::kManualContents);
    ui::ManualWindow* manual = gui().manualWindow();
    ASSERT_NE(manual, nullptr);
    auto* text = manual->findChild<QWidget*>(QStringLiteral("manualText"));
    ASSERT_NE(text, nullptr);
    QTest::keyClick(text, Qt::Key_Escape);
    EXPECT_TRUE(pumpUntil([&] { return !manual->isVisible(); }, 5000));

    // The wizard's own pages keep Enter and Escape to themselves.
    wizard->window().activateWindow();
    QTest::keyClick(&wizard->window(), Qt::Key_Escape);
    EXPECT_TRUE(wizard->window().isVisible());
}

// Every button whose label has a letter or digit has a mnemonic, and no two
// buttons of one page, dialog or window share one.
TEST_F(FeedbackWizardTest, EveryLabelledButtonHasAMnemonicOfItsOwn) {
    const auto check = [](QWidget* root, const std::string& where) {
        std::set<QChar> letters;
        for (const QAbstractButton* b : root->findChildren<QAbstractButton*>()) {
            const QString shown = ui::plainLabel(b->text());
            if (std::none_of(shown.begin(), shown.end(), [](QChar c) { return c.isLetterOrNumber(); })) continue;
            const QChar letter = ui::mnemonicOf(b->text());
            EXPECT_FALSE(letter.isNull()) << where << ": " << shown.toStdString();
            if (!letter.isNull()) {
                EXPECT_TRUE(letters.insert(letter).second) << where << ": " << b->text().toStdString();
            }
        }
    };
    for (const int id : {app::kImageSelectionPage, app::kScanModePage, app::kVolumeListPage, app::kRecoveryModePage,
                         app::kAdvancedOptionsPage, app::kScanPage, app::kRawRecoveryPage}) {
        gui().createPage(id);
        ASSERT_NE(gui().pageWidget(id), nullptr) << id;
        check(gui().pageWidget(id), "page " + std::to_string(id));
    }
    ui::RawSettingDialog dialog(app::RawSettingDlg(gui()), &wizard->window());
    check(&dialog, "setting dialog");
    ui::ManualWindow manual;
    check(&manual, "manual window");
    // The shown labels stay the exact texts.
    EXPECT_EQ(gui().text(kScan, VolumeScanDlg::kSave), "Save");
    EXPECT_EQ(gui().text(kScan, VolumeScanDlg::kSearch), "Search");
}

}  // namespace
}  // namespace tavrel::test
