// The whole wizard, offscreen, on an NTFS fixture made by mkfs.ntfs and ntfs-3g:
// image, scan mode, volume list, Standard recovery, the scan page's worker,
// the lazily filled tree, ticking and saving, compared against the hashes the
// fixture script took from the original files.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QBrush>
#include <QHeaderView>
#include <QLineEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTableView>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "app/CKeswinApp.h"
#include "app/VolumeScanDlg.h"
#include "image/readWriteInterface.h"
#include "support/TestSupport.h"
#include "ui/UiTestSupport.h"
#include "ui/qt/CheckHeader.h"
#include "ui/qt/EntryTreeModel.h"
#include "ui/qt/FileListModel.h"
#include "ui/qt/QtWizard.h"
#include "ui/qt/ScanPage.h"

namespace tavrel::test {
namespace {

namespace fsys = std::filesystem;
using app::VolumeScanDlg;
constexpr int kScan = app::kScanPage;
constexpr const char* kDone = "Scanning processing done.Select save button to save the data.";
constexpr const char* kWait = "Please wait for the running process.";

// path -> sha256 of the fixture's original files.
std::map<std::string, std::string> expectedHashes(const fsys::path& listing) {
    std::map<std::string, std::string> hashes;
    std::ifstream in(listing);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream s(line);
        std::string field;
        while (std::getline(s, field, '\t')) f.push_back(field);
        if (f.size() == 5 && f[0] == "r") hashes[f[4]] = f[3];
    }
    return hashes;
}

// The image reader with a gate: reads wait while it is closed, so a test can hold
// a scan at its first read and press Pause or Stop before the scan gets anywhere.
class GatedReader : public readWriteInterface {
public:
    explicit GatedReader(std::unique_ptr<readWriteInterface> inner) : inner_(std::move(inner)) {}
    void open() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        opened_.notify_all();
    }
    bool open(std::string) override { return true; }
    bool readAt(std::int64_t offset, MutableByteSpan out) const override {
        {
            std::unique_lock lock(mutex_);
            opened_.wait(lock, [this] { return open_; });
        }
        return inner_->readAt(offset, out);
    }
    std::int64_t diskSize() const override { return inner_->diskSize(); }

private:
    std::unique_ptr<readWriteInterface> inner_;
    mutable std::mutex mutex_;
    mutable std::condition_variable opened_;
    bool open_ = false;
};

class ScanWizardTest : public ::testing::Test {
protected:
    void SetUp() override {
        qtApp();
        if (!fsys::exists(fixturePath("ntfs/ntfs-mbr.vhd.xz")) || !haveTool("xz"))
            GTEST_SKIP() << "NTFS fixture or xz missing";
        image = unpackedFixture("ntfs/ntfs-mbr.vhd.xz");
        wizard = std::make_unique<ui::QtWizard>();
        wizard->gui().messageHook = [this](const std::string& text, app::Buttons, app::Icon) {
            messages.push_back(text);
            const bool count = text.find("of files found inside this folder") != std::string::npos;
            return count ? app::Answer::Yes : app::Answer::Ok;
        };
        wizard->gui().folderDialogHook = [this](const std::string& title) {
            folderTitles.push_back(title);
            return out.path().string();
        };
    }
    void TearDown() override { wizard.reset(); }

    ui::QtGui& gui() { return wizard->gui(); }
    int currentPage() {
        auto* page = qobject_cast<ui::PageWidget*>(wizard->window().stack()->currentWidget());
        return page ? page->pageId() : 0;
    }
    bool shown(const std::string& text) {
        return std::find(messages.begin(), messages.end(), text) != messages.end();
    }
    bool waitFor(const std::string& text) {
        return pumpUntil([&] { return shown(text); });
    }

    // Walks the wizard to the scan page with Standard mode; the scan has started
    // but no event has been processed since (so its worker still counts as running).
    void openScanPage(bool gated = false) {
        ASSERT_TRUE(wizard->start(false, image.string()));
        ASSERT_TRUE(click(gui(), app::kImageSelectionPage, "next"));
        ASSERT_EQ(currentPage(), app::kScanModePage);
        ASSERT_TRUE(click(gui(), app::kScanModePage, "next"));
        ASSERT_EQ(currentPage(), app::kVolumeListPage);
        auto* volumes = pageControl<QTreeWidget>(gui(), app::kVolumeListPage, "volumeList");
        ASSERT_NE(volumes, nullptr);
        ASSERT_GE(volumes->topLevelItemCount(), 1);
        ASSERT_EQ(volumes->topLevelItem(0)->text(1).toStdString(), "NTFS");
        volumes->setCurrentItem(volumes->topLevelItem(0));
        ASSERT_TRUE(click(gui(), app::kVolumeListPage, "next"));
        ASSERT_EQ(currentPage(), app::kRecoveryModePage);
        ASSERT_TRUE(pageControl<QAbstractButton>(gui(), app::kRecoveryModePage, "standard")->isChecked());
        if (gated) {
            auto reader = std::make_unique<GatedReader>(std::move(wizard->app().currentReader));
            gate = reader.get();
            wizard->app().currentReader = std::move(reader);
        }
        ASSERT_TRUE(click(gui(), app::kRecoveryModePage, "next"));
        ASSERT_EQ(currentPage(), kScan);
        page = qobject_cast<ui::ScanPage*>(gui().pageWidget(kScan));
        ASSERT_NE(page, nullptr);
    }
    void scanToEnd() {
        openScanPage();
        ASSERT_TRUE(waitFor(kDone));
        QCoreApplication::processEvents();
    }

    ui::EntryTreeModel& model() { return *page->treeModel(); }
    QModelIndex top() { return model().index(0, 0); }
    QModelIndex item(const QModelIndex& parent, const QString& name) {
        for (int r = 0; r < model().rowCount(parent); ++r) {
            const QModelIndex i = model().index(r, 0, parent);
            if (model().data(i).toString() == name) return i;
        }
        return {};
    }
    std::vector<std::string> names(const QModelIndex& parent) {
        std::vector<std::string> list;
        for (int r = 0; r < model().rowCount(parent); ++r)
            list.push_back(model().data(model().index(r, 0, parent)).toString().toStdString());
        return list;
    }
    void tick(const QModelIndex& i) { ASSERT_TRUE(model().setData(i, Qt::Checked, Qt::CheckStateRole)); }

    fsys::path image;
    TempDir out;
    std::unique_ptr<ui::QtWizard> wizard;
    ui::ScanPage* page = nullptr;
    GatedReader* gate = nullptr;
    std::vector<std::string> messages;
    std::vector<std::string> folderTitles;
};

// At the window's default size every column shows its whole header text and the
// last column can be scrolled into view, before and after a list fill.
TEST_F(ScanWizardTest, FileListColumnsShowTheirHeadersAndScrollIntoReach) {
    scanToEnd();
    wizard->window().show();
    QTableView* view = page->listView();
    auto check = [&](const char* when) {
        QCoreApplication::processEvents();
        QHeaderView* header = view->horizontalHeader();
        ASSERT_EQ(header->count(), app::FileList::kColumnCount) << when;
        for (int i = 0; i < header->count(); ++i) {
            const QString text = view->model()->headerData(i, Qt::Horizontal).toString();
            EXPECT_FALSE(text.isEmpty()) << when << " column " << i;
            EXPECT_FALSE(header->isSectionHidden(i)) << when << " column " << i;
            EXPECT_GE(header->sectionSize(i), header->fontMetrics().horizontalAdvance(text))
                << when << " " << text.toStdString();
        }
        const int last = header->count() - 1;
        const int end = header->sectionPosition(last) + header->sectionSize(last);
        EXPECT_LE(end, view->viewport()->width() + view->horizontalScrollBar()->maximum()) << when;
    };
    check("empty");
    page->treeView()->setCurrentIndex(item(top(), "keep"));
    check("filled");
}

// A keyboard user: the tree has the keyboard with ROOT current, Space ticks it.
TEST_F(ScanWizardTest, KeyboardTicksFromTheTree) {
    scanToEnd();
    wizard->window().show();
    ASSERT_TRUE(pumpUntil([&] { return page->treeView()->hasFocus(); }));
    EXPECT_EQ(page->treeView()->currentIndex(), top());
    QTest::keyClick(page->treeView(), Qt::Key_Space);
    EXPECT_EQ(model().data(top(), Qt::CheckStateRole).toInt(), Qt::Checked);
}

TEST_F(ScanWizardTest, ScanBrowseTickAndSaveMatchTheOriginals) {
    scanToEnd();
    EXPECT_EQ(shownText(gui(), kScan, VolumeScanDlg::kStatus), kDone);
    EXPECT_TRUE(pageControl<QWidget>(gui(), kScan, VolumeScanDlg::kBack)->isEnabled());
    for (const char* id : {VolumeScanDlg::kProgress, VolumeScanDlg::kPause, VolumeScanDlg::kResume,
                           VolumeScanDlg::kStop})
        EXPECT_TRUE(pageControl<QWidget>(gui(), kScan, id)->isHidden()) << id;
    EXPECT_TRUE(pageControl<QWidget>(gui(), kScan, VolumeScanDlg::kSearch)->isEnabled());
    EXPECT_EQ(shownText(gui(), kScan, VolumeScanDlg::kVolumeData), "0");

    ASSERT_EQ(model().rowCount(), 1);
    EXPECT_EQ(model().data(top()).toString(), "ROOT");
    EXPECT_TRUE(page->treeView()->isExpanded(top()));
    const QModelIndex keep = item(top(), "keep");
    ASSERT_TRUE(keep.isValid());
    EXPECT_TRUE(model().hasChildren(keep));
    EXPECT_EQ(model().rowCount(keep), 0);  // not filled before it is opened

    page->treeView()->expand(keep);
    QCoreApplication::processEvents();
    const QModelIndex deleted = item(keep, "deleted.bin");
    const QModelIndex kept = item(keep, "kept.txt");
    ASSERT_TRUE(deleted.isValid());
    ASSERT_TRUE(kept.isValid());
    EXPECT_EQ(model().data(deleted, Qt::ForegroundRole).value<QBrush>().color(), QColor(255, 0, 0));
    EXPECT_FALSE(model().data(kept, Qt::ForegroundRole).isValid());

    // Selecting the folder lists its files with their columns.
    page->treeView()->setCurrentIndex(keep);
    QCoreApplication::processEvents();
    ui::FileListModel& list = *page->listModel();
    ASSERT_EQ(list.rowCount(), 2);
    EXPECT_EQ(list.headerData(0, Qt::Horizontal).toString(), "File(s) List");
    EXPECT_EQ(list.headerData(5, Qt::Horizontal).toString(), "Attribute");
    EXPECT_FALSE(list.data(list.index(0, 1)).toString().isEmpty());  // creation time
    EXPECT_FALSE(list.data(list.index(0, 4)).toString().isEmpty());  // size

    // The header check box checks every row.
    ui::CheckHeader* header = page->listHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(0) + 8, header->height() / 2));
    EXPECT_TRUE(header->isChecked());
    EXPECT_EQ(list.data(list.index(1, 0), Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(model().data(deleted, Qt::CheckStateRole).toInt(), Qt::Checked);  // the tree shows the same ticks
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(0) + 8, header->height() / 2));
    EXPECT_FALSE(header->isChecked());

    // Tick two files and one unopened folder, then Save.
    tick(item(top(), "small.txt"));
    tick(kept);
    tick(item(top(), "a"));
    messages.clear();
    ASSERT_TRUE(click(gui(), kScan, VolumeScanDlg::kSave));
    ASSERT_TRUE(waitFor("work done\nFiles saved: 4 written, 0 incomplete, 0 failed.\nOpen the output folder?"));
    EXPECT_EQ(folderTitles, std::vector<std::string>{"Please choose a folder."});
    EXPECT_TRUE(
        shown("Number of files found inside this folder = 4 .Do you want to continue dumping these files..?"));

    const auto hashes = expectedHashes(fixturePath("ntfs/ntfs-mbr.expected"));
    for (const char* path : {"small.txt", "keep/kept.txt", "a/b/b.txt", "a/b/c/d/deep.txt"}) {
        ASSERT_TRUE(hashes.count(path)) << path;
        EXPECT_EQ(sha256File(out.path() / path), hashes.at(path)) << path;
    }
    EXPECT_FALSE(fsys::exists(out.path() / "keep" / "deleted.bin"));
    EXPECT_FALSE(fsys::exists(out.path() / "big.bin"));
    EXPECT_TRUE(pageControl<QWidget>(gui(), kScan, VolumeScanDlg::kTree)->isEnabled());

    // A double click on a file writes it into the chosen folder at once.
    page->treeView()->scrollTo(deleted);
    QCoreApplication::processEvents();
    const QRect rect = page->treeView()->visualRect(deleted);
    ASSERT_TRUE(page->treeView()->viewport()->rect().contains(rect.center()));
    // (the view wants the press that precedes a real double click)
    QTest::mousePress(page->treeView()->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(page->treeView()->viewport(), Qt::LeftButton, {}, rect.center());

    auto* scan = dynamic_cast<VolumeScanDlg*>(wizard->app().page(kScan));
    ASSERT_NE(scan, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return !scan->running(); }));
    EXPECT_EQ(sha256File(out.path() / "deleted.bin"), hashes.at("keep/deleted.bin"));
}

// Search: the hits of folders never opened in the tree are
// listed with their full paths (the fixture's own file list is the oracle),
// deleted ones in red, and ticking them ticks nothing in the tree. While the
// search runs the tree is disabled, 10 darker than its window colour, in grey
// text; afterwards its own colours are back.
TEST_F(ScanWizardTest, SearchListsTheWholeVolumesHitsWithoutTickingTheTree) {
    scanToEnd();
    std::vector<std::string> expected;
    for (const auto& [path, sha] : expectedHashes(fixturePath("ntfs/ntfs-mbr.expected"))) {
        const std::string last = path.substr(path.rfind('/') + 1);
        if (last.find("deep") != std::string::npos || last.find("inside") != std::string::npos)
            expected.push_back("ROOT/" + path);
    }
    ASSERT_EQ(expected.size(), 2u);
    auto* edit = pageControl<QLineEdit>(gui(), kScan, VolumeScanDlg::kSearchText);
    QTest::keyClicks(edit, "DEEP|Inside");
    QTreeView* view = page->treeView();
    const QPalette own = view->palette();
    const QColor window = own.color(QPalette::Active, QPalette::Base);
    ASSERT_TRUE(click(gui(), kScan, VolumeScanDlg::kSearch));
    // The search's end is posted to this thread: it cannot have come yet.
    EXPECT_FALSE(view->isEnabled());
    const QColor shownBase = view->viewport()->palette().color(QPalette::Disabled, QPalette::Base);
    const app::Rgb dark = {shownBase.red(), shownBase.green(), shownBase.blue()};
    EXPECT_EQ(dark, app::searchBackground({window.red(), window.green(), window.blue()}));
    EXPECT_NE(shownBase, window);
    EXPECT_EQ(view->palette().color(QPalette::Active, QPalette::Text), own.color(QPalette::Disabled, QPalette::Text));
    ASSERT_TRUE(waitFor("Searching Finished"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(view->isEnabled());
    EXPECT_EQ(view->palette(), own);

    ui::FileListModel& list = *page->listModel();
    std::vector<std::string> rows;
    for (int r = 0; r < list.rowCount(); ++r) rows.push_back(list.data(list.index(r, 0)).toString().toStdString());
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(shownText(gui(), kScan, VolumeScanDlg::kStatus), "searched file 2");
    for (int r = 0; r < list.rowCount(); ++r) {
        const bool deleted = list.data(list.index(r, 0)).toString().contains("inside");
        EXPECT_EQ(list.data(list.index(r, 0), Qt::ForegroundRole).isValid(), deleted) << r;
        ASSERT_TRUE(list.setData(list.index(r, 0), Qt::Checked, Qt::CheckStateRole));
    }
    EXPECT_EQ(model().data(top(), Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_EQ(model().data(item(top(), "a"), Qt::CheckStateRole).toInt(), Qt::Unchecked);

    edit->setText("*.jpg");
    ASSERT_TRUE(click(gui(), kScan, VolumeScanDlg::kSearch));
    ASSERT_TRUE(waitFor("such characters are not allowed for search.Try again with different pattern."));
    EXPECT_EQ(list.rowCount(), 0);
}

// Ticked search results are saved, exactly those, each at its path below ROOT;
// the patterns are regular expressions. With no result ticked the tree's rule
// (here: the selected folder) applies again.
TEST_F(ScanWizardTest, SearchByExpressionSavesTheTickedResultsAtTheirPaths) {
    scanToEnd();
    page->treeView()->setCurrentIndex(item(top(), "keep"));
    QCoreApplication::processEvents();
    auto* edit = pageControl<QLineEdit>(gui(), kScan, VolumeScanDlg::kSearchText);
    edit->setText("^(DEEP|kept|text)\\.txt$");
    ASSERT_TRUE(click(gui(), kScan, VolumeScanDlg::kSearch));
    ASSERT_TRUE(waitFor("Searching Finished"));
    QCoreApplication::processEvents();
    ui::FileListModel& list = *page->listModel();
    std::vector<std::string> rows;
    for (int r = 0; r < list.rowCount(); ++r) rows.push_back(list.data(list.index(r, 0)).toString().toStdString());
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, (std::vector<std::string>{"ROOT/a/b/c/d/deep.txt", "ROOT/keep/kept.txt", "ROOT/packed/text.txt"}));

    for (int r = 0; r < list.rowCount(); ++r) {
        if (!list.data(list.index(r, 0)).toString().contains("kept")) {
            ASSERT_TRUE(list.setData(list.index(r, 0), Qt::Checked, Qt::CheckStateRole));
        }
    }
    auto* scan = dynamic_cast<VolumeScanDlg*>(wizard->app().page(kScan));
    auto save = [&] {
        messages.clear();
        ASSERT_TRUE(click(gui(), kScan, VolumeScanDlg::kSave));
        ASSERT_TRUE(pumpUntil([&] { return !scan->running(); }));
        QCoreApplication::processEvents();
    };
    save();
    EXPECT_TRUE(shown("Number of files found inside this folder = 2 .Do you want to continue dumping these files..?"));
    const auto hashes = expectedHashes(fixturePath("ntfs/ntfs-mbr.expected"));
    std::vector<std::string> written;
    for (const auto& f : fsys::recursive_directory_iterator(out.path()))
        if (f.is_regular_file()) written.push_back(fsys::relative(f.path(), out.path()).string());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"a/b/c/d/deep.txt", "packed/text.txt"}));
    for (const std::string& path : written)
        EXPECT_EQ(sha256File(out.path() / path), hashes.count(path) ? hashes.at(path) : "") << path;

    for (int r = 0; r < list.rowCount(); ++r) ASSERT_TRUE(list.setData(list.index(r, 0), Qt::Unchecked, Qt::CheckStateRole));
    save();
    EXPECT_TRUE(shown("Number of files found inside this folder = 2 .Do you want to continue dumping these files..?"));
    EXPECT_EQ(sha256File(out.path() / "kept.txt"), hashes.at("keep/kept.txt"));
}

TEST_F(ScanWizardTest, BackDuringTheScanIsRefused) {
    openScanPage();
    // The button is disabled while scanning; the controller refuses as well.
    EXPECT_FALSE(pageControl<QWidget>(gui(), kScan, VolumeScanDlg::kBack)->isEnabled());
    wizard->app().visiblePage()->back();
    EXPECT_EQ(messages.back(), kWait);
    EXPECT_EQ(currentPage(), kScan);
    ASSERT_TRUE(waitFor(kDone));
    ASSERT_TRUE(click(gui(), kScan, VolumeScanDlg::kBack));
    EXPECT_EQ(currentPage(), app::kRecoveryModePage);
}

TEST_F(ScanWizardTest, PauseThenResumeCompletesWithTheSameTree) {
    scanToEnd();
    const std::vector<std::string> reference = names(top());
    ASSERT_GT(reference.size(), 10u);
    wizard.reset();
    messages.clear();
    wizard = std::make_unique<ui::QtWizard>();
    wizard->gui().messageHook = [this](const std::string& text, app::Buttons, app::Icon) {
        messages.push_back(text);
        return app::Answer::Ok;
    };

    openScanPage(true);
    ASSERT_TRUE(click(gui(), kScan, VolumeScanDlg::kPause));
    EXPECT_EQ(shownText(gui(), kScan, VolumeScanDlg::kStatus), "Pause button pressed");
    gate->open();
    // Paused, the worker stops at its next checkpoint: the scan cannot end however
    // long we wait.
    QTest::qWait(300);
    auto* bar = pageControl<QProgressBar>(gui(), kScan, VolumeScanDlg::kProgress);
    const int before = bar->value();
    QTest::qWait(100);
    EXPECT_EQ(bar->value(), before);
    EXPECT_FALSE(shown(kDone));
    EXPECT_FALSE(pageControl<QWidget>(gui(), kScan, VolumeScanDlg::kBack)->isEnabled());
    ASSERT_TRUE(click(gui(), kScan, VolumeScanDlg::kResume));
    ASSERT_TRUE(waitFor(kDone));
    QCoreApplication::processEvents();
    EXPECT_EQ(names(top()), reference);
}

TEST_F(ScanWizardTest, StopLeavesAPartialTreeAndSaysSo) {
    scanToEnd();
    const std::size_t full = names(top()).size();
    wizard.reset();
    messages.clear();
    wizard = std::make_unique<ui::QtWizard>();
    wizard->gui().messageHook = [this](const std::string& text, app::Buttons, app::Icon) {
        messages.push_back(text);
        return app::Answer::Ok;
    };

    openScanPage(true);
    ASSERT_TRUE(click(gui(), kScan, VolumeScanDlg::kStop));
    EXPECT_EQ(shownText(gui(), kScan, VolumeScanDlg::kStatus),
              "stop button pressed.Please wait for the process to be stopped.");
    gate->open();
    ASSERT_TRUE(waitFor("Scanning was stopped. The tree shows only what was found before Stop."));
    QCoreApplication::processEvents();
    ASSERT_EQ(model().rowCount(), 1);
    EXPECT_EQ(model().data(top()).toString(), "ROOT");
    EXPECT_LT(names(top()).size(), full);
    EXPECT_TRUE(pageControl<QWidget>(gui(), kScan, VolumeScanDlg::kBack)->isEnabled());
}

TEST_F(ScanWizardTest, ExitDuringAPausedScanEndsCleanly) {
    openScanPage(true);
    ASSERT_TRUE(click(gui(), kScan, VolumeScanDlg::kPause));
    gate->open();
    wizard->app().visiblePage()->exitApp();
    EXPECT_EQ(wizard->app().visiblePage(), nullptr);
    QCoreApplication::processEvents();
}

}  // namespace
}  // namespace tavrel::test
