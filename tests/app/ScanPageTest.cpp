// The scan page through its controller, the recording Gui and a parser held in
// memory: the scan worker's states and texts, Pause/Resume/Stop/Back/Exit, the
// lazily filled tree and the file list, and saving into a temporary folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "app/CKeswinApp.h"
#include "app/FakeGui.h"
#include "app/PageFactory.h"
#include "app/ScanPageFakeParser.h"
#include "app/VolumeScanDlg.h"
#include "image/MemoryImage.h"
#include "support/RecycleInfo.h"
#include "support/TestSupport.h"

namespace tavrel::test {
namespace {

namespace fsys = std::filesystem;
using app::EntryTree;
using app::VolumeScanDlg;
constexpr int kPage = app::kScanPage;
constexpr const char* kDone = "Scanning processing done.Select save button to save the data.";
constexpr const char* kWait = "Please wait for the running process.";
// The fake parser's volume holds one deleted file, whose place it does not know.
// The end of a save that wrote every file it was given, the deleted one included.
bool savedAll(const std::string& message) {
    static const std::regex end(
        "work done\nFiles saved: [1-9][0-9]* written, 0 incomplete, 0 failed\\.\n"
        "Deleted files saved: 0 intact, 0 partly overwritten, 0 overwritten, 1 unknown\\.\nOpen the output folder\\?");
    return std::regex_match(message, end);
}

std::string readText(const fsys::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool contains(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

class ScanPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        app.currentReader = std::make_unique<MemoryImage>(std::vector<std::uint8_t>(1 << 20));
        auto parser = std::make_unique<ScanPageFakeParser>();
        fake = parser.get();
        docs = fake->folder("docs");
        fake->file("a.txt", docs, "alpha");
        fake->file("b.txt", docs, "bravo", true);
        sub = fake->folder("sub", docs);
        fake->file("c.txt", sub, "charlie");
        fake->folder("empty");
        fake->file("top.txt", -1, "top");
        fake->file("gone.bin", -1, "gone", true);
        pending = std::move(parser);
    }

    // Opens the scan page (after a recovery mode page, so Back has somewhere to go).
    VolumeScanDlg& open(const std::string& fsName = "NTFS", bool withParser = true) {
        VolumeRecord record;
        record.fsName = fsName;
        record.volumeName = "2";
        record.sizeMiBText = "1 MB";
        app.forward(app::makeRecoveryModePage(app, record));
        auto scan = std::make_unique<VolumeScanDlg>(app, record, 1, 3, false);
        if (withParser) {
            scan->setParserMaker([this](const std::string&, const VolumeView&, const fs::ScanOptions&) {
                return std::unique_ptr<fs::Parser>(std::move(pending));
            });
        }
        page = &dynamic_cast<VolumeScanDlg&>(app.forward(std::move(scan)));
        return *page;
    }
    bool finish() {
        return gui.runPostedUntil([this] { return !page->running(); });
    }
    VolumeScanDlg& scanned() {
        open();
        EXPECT_TRUE(finish());
        return *page;
    }
    EntryTree::Node& child(EntryTree::Node& parent, const std::string& text) {
        for (auto& c : parent.children)
            if (c->text == text) return *c;
        ADD_FAILURE() << "no item " << text;
        return parent;
    }
    EntryTree::Node& top() { return *page->tree().top(); }
    std::vector<std::string> listNames() {
        std::vector<std::string> names;
        for (int r = 0; r < page->fileList().rowCount(); ++r) names.push_back(page->fileList().cell(r, 0));
        return names;
    }
    void saveInto(const fsys::path& out) {
        gui.queueFolder(out.string());
        gui.queueAnswer(app::Answer::Yes);
        page->command(VolumeScanDlg::kSave);
        ASSERT_TRUE(finish());
    }

    FakeGui gui;
    app::CKeswinApp app{gui};
    std::unique_ptr<ScanPageFakeParser> pending;
    ScanPageFakeParser* fake = nullptr;
    VolumeScanDlg* page = nullptr;
    int docs = 0, sub = 0;
};

// ---- scan states and texts --------------------------------------------------

TEST_F(ScanPageTest, ScanEndsWithTreeMessageAndHiddenControls) {
    open();
    EXPECT_EQ(gui.title(kPage), "Tavrel v3.02");
    EXPECT_EQ(gui.textOf(kPage, VolumeScanDlg::kVolumeData), "2");
    EXPECT_FALSE(gui.visible(kPage, VolumeScanDlg::kOutputFolder));
    EXPECT_TRUE(gui.enabled(kPage, VolumeScanDlg::kSearch));  // refused by the running worker
    ASSERT_TRUE(finish());

    const auto status = gui.textHistory(kPage, VolumeScanDlg::kStatus);
    ASSERT_GE(status.size(), 3u);
    EXPECT_EQ(status.front(), "ntfs partition selected....");
    EXPECT_TRUE(contains(status, "fake scan started"));
    EXPECT_EQ(status.back(), kDone);
    EXPECT_EQ(gui.lastMessage(), kDone);
    EXPECT_EQ(fake->stepsDone, fake->scanSteps);
    EXPECT_TRUE(gui.enabled(kPage, VolumeScanDlg::kBack));
    for (const char* id : {VolumeScanDlg::kProgress, VolumeScanDlg::kPause, VolumeScanDlg::kResume,
                           VolumeScanDlg::kStop})
        EXPECT_FALSE(gui.visible(kPage, id)) << id;
    EXPECT_EQ(gui.control(kPage, VolumeScanDlg::kProgress).position, fake->scanSteps);

    ASSERT_NE(page->tree().top(), nullptr);
    EXPECT_EQ(top().text, "ROOT");
    ASSERT_EQ(top().children.size(), 4u);
    EXPECT_EQ(top().children[0]->text, "docs");
    EXPECT_EQ(top().children[0]->row, 0);
    EXPECT_EQ(top().children[3]->row, 3);
    EXPECT_TRUE(gui.enabled(kPage, VolumeScanDlg::kTree));
}

TEST_F(ScanPageTest, KindsWithoutParserAreNotValidDrives) {
    for (const char* kind : {"Unknown", "ZFS"}) {
        FakeGui localGui;
        app::CKeswinApp localApp(localGui);
        localApp.currentReader = std::make_unique<MemoryImage>(std::vector<std::uint8_t>(1 << 16));
        VolumeRecord record;
        record.fsName = kind;
        localApp.forward(app::makeScanPage(localApp, record, 1, 3, false));
        EXPECT_EQ(localGui.lastMessage(), "not a valid drive.") << kind;
        EXPECT_EQ(localGui.textOf(kPage, VolumeScanDlg::kStatus), "Not a valid Drive .Go back") << kind;
        EXPECT_TRUE(localGui.enabled(kPage, VolumeScanDlg::kBack)) << kind;
    }
}

TEST_F(ScanPageTest, NoReaderAsksForRestartAndLeavesBackOpen) {
    app.currentReader.reset();
    open();
    EXPECT_EQ(gui.lastMessage(), "Please Restart the program to re begin necessary initialization...");
    EXPECT_FALSE(page->running());
    EXPECT_TRUE(gui.enabled(kPage, VolumeScanDlg::kBack));
}

TEST_F(ScanPageTest, FailedScanShowsParserMessage) {
    fake->failScan = true;
    open("FAT16");
    ASSERT_TRUE(finish());
    EXPECT_EQ(gui.lastMessage(), "Selected Drive is not in Fat16 Format\nAdvanced mode hunts for the FAT copies and "
                                 "may still find the files: go Back and choose Advanced.");
    EXPECT_TRUE(gui.enabled(kPage, VolumeScanDlg::kBack));
    EXPECT_EQ(page->tree().top(), nullptr);
}

// What the page says is decided by the scan's outcome: an unreadable volume says
// so (never "not in Fat16 Format"), and a finished scan that met damage says how much.
TEST_F(ScanPageTest, UnreadableVolumeIsNotCalledAnotherKind) {
    fake->failScan = true;
    fake->failure = fs::ScanOutcome::fail(fs::ScanResult::ReadError, 4096, {});
    open("FAT16");
    ASSERT_TRUE(finish());
    EXPECT_EQ(gui.lastMessage(), "The volume could not be read. (volume byte offset 4096)");
    EXPECT_EQ(page->tree().top(), nullptr);
}

TEST_F(ScanPageTest, FinalStatusCountsWarnings) {
    fake->damagedRecords = 2;
    scanned();
    EXPECT_EQ(gui.lastMessage(), "Scanning processing done.Select save button to save the data.");
    EXPECT_EQ(gui.textOf(kPage, VolumeScanDlg::kStatus),
              "Scanning processing done.Select save button to save the data. 2 warnings: 0 unreadable range(s), 2 "
              "damaged record(s)");
}

// Damage that left folders but no file is an outcome of its own; damage beside
// files, and a healthy volume without files, end as usual.
TEST_F(ScanPageTest, DamageThatLeftNoFileIsToldInsteadOfTheEnd) {
    fake->entries.clear();
    fake->folder("lost+found");
    fake->damagedRecords = 1;
    scanned();
    EXPECT_EQ(gui.lastMessage(), "No file was found on this volume: its file system structures are damaged.");
}

TEST_F(ScanPageTest, HealthyVolumeWithoutFilesEndsAsUsual) {
    fake->entries.clear();
    fake->folder("lost+found");
    scanned();
    EXPECT_EQ(gui.lastMessage(), "Scanning processing done.Select save button to save the data.");
}

TEST_F(ScanPageTest, ParserMessageOfASingleSaveIsShown) {
    fake->file("bad.bin", -1, "!record");
    scanned();
    TempDir out;
    gui.queueFolder(out.path().string());
    page->treeDoubleClicked(child(top(), "bad.bin"));
    ASSERT_TRUE(finish());
    EXPECT_EQ(gui.lastMessage(), "Not a valid entry...");
}

TEST_F(ScanPageTest, BackSaveAndTreeRefusedWhileScanning) {
    fake->closeGate();
    open();
    EXPECT_TRUE(page->running());
    EXPECT_FALSE(gui.enabled(kPage, VolumeScanDlg::kBack));
    page->back();
    EXPECT_EQ(gui.lastMessage(), kWait);
    EXPECT_EQ(app.visiblePage(), page);
    gui.clearMessages();
    page->command(VolumeScanDlg::kSave);
    EXPECT_EQ(gui.lastMessage(), kWait);

    fake->openGate();
    ASSERT_TRUE(finish());
    page->back();
    ASSERT_NE(app.visiblePage(), nullptr);
    EXPECT_EQ(app.visiblePage()->pageId(), app::kRecoveryModePage);
}

TEST_F(ScanPageTest, PauseHoldsTheWorkerUntilResume) {
    fake->closeGate();
    open();
    page->pause();
    EXPECT_EQ(gui.textOf(kPage, VolumeScanDlg::kStatus), "Pause button pressed");
    fake->openGate();
    // Paused at its first checkpoint, the worker makes no step however long we look.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(fake->stepsDone, 0);
    EXPECT_TRUE(page->running());
    page->resume();
    ASSERT_TRUE(finish());
    EXPECT_EQ(fake->stepsDone, fake->scanSteps);
    EXPECT_TRUE(contains(gui.textHistory(kPage, VolumeScanDlg::kStatus), "Resume button pressed"));
    EXPECT_EQ(gui.lastMessage(), kDone);
}

TEST_F(ScanPageTest, StopEndsEarlyAndStillShowsTreeAndMessage) {
    fake->closeGate();
    open();
    page->stop();
    EXPECT_EQ(gui.textOf(kPage, VolumeScanDlg::kStatus),
              "stop button pressed.Please wait for the process to be stopped.");
    EXPECT_TRUE(page->dumpStop);
    ASSERT_TRUE(finish());
    EXPECT_LT(fake->stepsDone, fake->scanSteps);
    // A stopped scan never claims to be done.
    EXPECT_EQ(gui.lastMessage(), "Scanning was stopped. The tree shows only what was found before Stop.");
    EXPECT_EQ(gui.textOf(kPage, VolumeScanDlg::kStatus), gui.lastMessage());
    EXPECT_NE(page->tree().top(), nullptr);
}

TEST_F(ScanPageTest, ExitWhileScanningStopsAndJoinsTheWorker) {
    fake->closeGate();
    open();
    page->pause();
    page->exitApp();  // destroys the page: the worker must be stopped and joined first
    EXPECT_EQ(gui.quitCount(), 1);
    EXPECT_EQ(app.visiblePage(), nullptr);
    EXPECT_EQ(gui.runPosted(), 1);  // the worker's finish arrives after the page is gone and is dropped
}

// ---- tree and list ----------------------------------------------------------

TEST_F(ScanPageTest, FoldersFillOnceOnExpanding) {
    scanned();
    EntryTree::Node& d = child(top(), "docs");
    EXPECT_TRUE(d.folder);
    EXPECT_TRUE(d.expandable);
    EXPECT_FALSE(d.filled);
    EXPECT_TRUE(d.children.empty());
    EXPECT_FALSE(child(top(), "empty").expandable);

    EXPECT_TRUE(page->treeExpanding(d));
    ASSERT_EQ(d.children.size(), 3u);
    EXPECT_EQ(d.children[1]->text, "b.txt");
    EXPECT_TRUE(d.children[1]->deleted);
    EXPECT_FALSE(d.children[0]->deleted);
    EXPECT_EQ(d.children[2]->row, 2);
    EXPECT_TRUE(d.children[2]->expandable);
    const EntryTree::Node* first = d.children[0].get();
    page->treeExpanding(d);
    ASSERT_EQ(d.children.size(), 3u);
    EXPECT_EQ(d.children[0].get(), first);
    EXPECT_TRUE(child(top(), "gone.bin").deleted);
}

TEST_F(ScanPageTest, CheckedFolderPassesItsStateToNewChildren) {
    scanned();
    EntryTree::Node& d = child(top(), "docs");
    page->treeCheckToggled(d, true);
    EXPECT_FALSE(top().checked);
    page->treeExpanding(d);
    for (const auto& c : d.children) EXPECT_TRUE(c->checked) << c->text;
    page->treeCheckToggled(d, false);
    for (const auto& c : d.children) EXPECT_FALSE(c->checked) << c->text;  // inserted children follow
    // One child ticked: its folder shows the partial state, the list the tick.
    page->treeSelected(d);
    page->treeCheckToggled(*d.children[0], true);
    EXPECT_TRUE(d.partial);
    EXPECT_FALSE(d.checked);
    EXPECT_TRUE(page->fileList().row(0).checked);
    page->treeCheckToggled(d, true);
    EXPECT_TRUE(page->fileList().row(1).checked);
    EXPECT_FALSE(d.partial);
}

TEST_F(ScanPageTest, SelectingListsFilesWithTheirDescriptions) {
    scanned();
    EntryTree::Node& d = child(top(), "docs");
    EXPECT_TRUE(page->treeSelected(d));
    EXPECT_TRUE(d.filled);
    EXPECT_EQ(listNames(), (std::vector<std::string>{"a.txt", "b.txt"}));
    const app::FileList& list = page->fileList();
    EXPECT_EQ(list.cell(0, app::FileList::kCreated), "ca.txt");
    EXPECT_EQ(list.cell(0, app::FileList::kAccessed), "aa.txt");
    EXPECT_EQ(list.cell(0, app::FileList::kModified), "ma.txt");
    EXPECT_EQ(list.cell(0, app::FileList::kSize), "5 Bytes");
    EXPECT_EQ(list.cell(1, app::FileList::kAttributes), "-H");
    EXPECT_EQ(list.row(0).node, d.children[0].get());

    // Every folder click replaces the list, an empty folder's too.
    page->treeSelected(child(top(), "empty"));
    EXPECT_TRUE(listNames().empty());
    page->treeSelected(d);
    page->treeDoubleClicked(child(top(), "empty"));
    EXPECT_TRUE(listNames().empty());

    page->treeSelected(child(top(), "top.txt"));
    EXPECT_EQ(listNames(), (std::vector<std::string>{"top.txt"}));
    EXPECT_EQ(list.cell(0, app::FileList::kSize), "3 Bytes");
}

TEST_F(ScanPageTest, DoubleClickOnFolderListsNamesOnly) {
    scanned();
    EntryTree::Node& d = child(top(), "docs");
    page->treeDoubleClicked(d);
    EXPECT_EQ(listNames(), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(page->fileList().cell(0, app::FileList::kCreated), "");
    EXPECT_EQ(page->fileList().cell(0, app::FileList::kSize), "");
}

TEST_F(ScanPageTest, ListChecksAndTheHeaderMirrorToTheTree) {
    scanned();
    EntryTree::Node& d = child(top(), "docs");
    page->treeSelected(d);
    page->listRowChecked(1, true);
    EXPECT_TRUE(d.children[1]->checked);
    EXPECT_FALSE(page->fileList().headerChecked());
    page->listRowChecked(0, true);
    EXPECT_TRUE(page->fileList().headerChecked());
    page->listRowChecked(0, false);
    EXPECT_FALSE(d.children[0]->checked);
    EXPECT_FALSE(page->fileList().headerChecked());

    page->listHeaderClicked();
    EXPECT_TRUE(page->fileList().headerChecked());
    EXPECT_TRUE(page->fileList().row(0).checked);
    EXPECT_TRUE(d.children[0]->checked);  // the tree shows the same ticks
    page->listHeaderClicked();
    EXPECT_FALSE(page->fileList().row(1).checked);
    EXPECT_FALSE(d.children[1]->checked);
}

// ---- name search ---------------------------------------------------------------

TEST_F(ScanPageTest, SearchListsHitsOfUnopenedFoldersWithFullPathsAndTicksNoTreeItem) {
    scanned();
    EXPECT_FALSE(child(top(), "docs").filled);
    struct Case {
        const char* pattern;
        std::vector<std::string> rows;
        const char* message;
    };
    const Case cases[] = {
        {"C.TXT|top", {"ROOT/docs/sub/c.txt", "ROOT/top.txt"}, "Searching Finished"},
        {"*.txt", {}, "such characters are not allowed for search.Try again with different pattern."},
        {"", {}, "Searching Finished"},
    };
    for (const Case& c : cases) {
        gui.userSetText(kPage, VolumeScanDlg::kSearchText, c.pattern);
        page->command(VolumeScanDlg::kSearch);
        ASSERT_TRUE(finish());
        EXPECT_EQ(listNames(), c.rows) << c.pattern;
        EXPECT_EQ(gui.lastMessage(), c.message) << c.pattern;
        EXPECT_TRUE(page->fileList().showingSearchResults);
        EXPECT_EQ(app.searchText, c.pattern);
        EXPECT_TRUE(gui.enabled(kPage, VolumeScanDlg::kSearch));
        EXPECT_FALSE(gui.visible(kPage, VolumeScanDlg::kStop));
    }
    gui.userSetText(kPage, VolumeScanDlg::kSearchText, "top");
    page->command(VolumeScanDlg::kSearch);
    ASSERT_TRUE(finish());
    EXPECT_EQ(gui.textOf(kPage, VolumeScanDlg::kStatus), "searched file 1");
    EXPECT_EQ(page->fileList().cell(0, app::FileList::kSize), "3 Bytes");
    page->listHeaderClicked();
    EXPECT_TRUE(page->fileList().row(0).checked);
    page->listRowChecked(0, false);
    page->listRowChecked(0, true);
    EXPECT_TRUE(page->fileList().headerChecked());
    EXPECT_FALSE(child(top(), "top.txt").checked);
    EXPECT_FALSE(page->tree().anyChecked());
    // Selecting a folder lists its files again and clears the mark.
    page->treeSelected(child(top(), "docs"));
    EXPECT_FALSE(page->fileList().showingSearchResults);
}

TEST_F(ScanPageTest, SearchIsRefusedWhileScanning) {
    fake->closeGate();
    open();
    gui.userSetText(kPage, VolumeScanDlg::kSearchText, "a");
    page->command(VolumeScanDlg::kSearch);
    EXPECT_EQ(gui.lastMessage(), kWait);
    fake->openGate();
    ASSERT_TRUE(finish());
}

TEST_F(ScanPageTest, RecycledFilesShowTheirFormerNamesInTheTree) {
    const int bin = fake->folder("$RECYCLE.BIN");
    const auto info = recycleInfo(2, u"C:\\Docs\\plan.txt");
    fake->file("$I1A2B3C.txt", bin, std::string(info.begin(), info.end()));
    fake->file("$R1A2B3C.txt", bin, "plan");
    scanned();
    EntryTree::Node& b = child(top(), "$RECYCLE.BIN");
    page->treeExpanding(b);
    std::vector<std::string> names;
    for (const auto& c : b.children) names.push_back(c->text);
    EXPECT_EQ(names, (std::vector<std::string>{"$I1A2B3C.txt", "plan.txt"}));
}

// ---- saving -------------------------------------------------------------------

TEST_F(ScanPageTest, SavesSelectedFolderWhenNothingIsTicked) {
    scanned();
    page->treeSelected(child(top(), "docs"));
    TempDir out;
    gui.queueAnswer(app::Answer::Yes);  // after the count question's: open the folder
    saveInto(out.path());
    const auto messages = gui.messageTexts();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[messages.size() - 2],
              "Number of files found inside this folder = 3 .Do you want to continue dumping these files..?");
    EXPECT_TRUE(savedAll(messages.back())) << messages.back();
    const std::string folder = out.path().string();
    EXPECT_EQ(gui.openedUrls(), std::vector<std::string>{"file://" + folder});
    EXPECT_EQ(gui.title(kPage), "Tavrel v3.02");
    EXPECT_EQ(gui.textOf(kPage, VolumeScanDlg::kOutputFolder), out.path().string());
    EXPECT_EQ(readText(out / "a.txt"), "alpha");
    EXPECT_EQ(readText(out / "b.txt"), "bravo");
    EXPECT_EQ(readText(out.path() / "sub" / "c.txt"), "charlie");
    EXPECT_FALSE(fsys::exists(out / "top.txt"));
    EXPECT_EQ(gui.control(kPage, VolumeScanDlg::kProgress).position, 3);
    EXPECT_TRUE(contains(gui.textHistory(kPage, VolumeScanDlg::kStatus),
                         "saving File  " + (out.path() / "sub" / "c.txt").string()));
    EXPECT_TRUE(contains(gui.textHistory(kPage, VolumeScanDlg::kFileSize), "File size: 0 kb"));
    EXPECT_FALSE(gui.visible(kPage, VolumeScanDlg::kStop));
    EXPECT_TRUE(gui.enabled(kPage, VolumeScanDlg::kTree));
}

TEST_F(ScanPageTest, CountQuestionWordingComesFromTheKind) {
    open("FAT32");
    ASSERT_TRUE(finish());
    page->treeSelected(child(top(), "docs"));
    TempDir out;
    gui.queueFolder(out.path().string());
    gui.queueAnswer(app::Answer::No);
    page->command(VolumeScanDlg::kSave);
    EXPECT_EQ(gui.lastMessage(),
              "number of files found inside this folder = 3 .Do you want to continue dumping these files..?");
    EXPECT_FALSE(page->running());
    EXPECT_TRUE(fsys::is_empty(out.path()));
}

TEST_F(ScanPageTest, SavesExactlyTheTickedEntriesUnderTheirPaths) {
    scanned();
    EntryTree::Node& d = child(top(), "docs");
    page->treeExpanding(d);
    page->treeCheckToggled(*d.children[0], true);            // docs/a.txt
    page->treeCheckToggled(child(top(), "gone.bin"), true);  // gone.bin
    page->treeCheckToggled(*d.children[2], true);            // docs/sub (whole subtree)
    page->treeSelected(child(top(), "top.txt"));             // the selection does not matter now
    TempDir out;
    saveInto(out.path());
    EXPECT_NE(gui.messageTexts().end(),
              std::find(gui.messageTexts().begin(), gui.messageTexts().end(),
                        "Number of files found inside this folder = 3 .Do you want to continue dumping these files..?"));
    EXPECT_TRUE(savedAll(gui.lastMessage())) << gui.lastMessage();
    EXPECT_EQ(readText(out.path() / "docs" / "a.txt"), "alpha");
    EXPECT_EQ(readText(out / "gone.bin"), "gone");
    EXPECT_EQ(readText(out.path() / "docs" / "sub" / "c.txt"), "charlie");
    EXPECT_FALSE(fsys::exists(out.path() / "docs" / "b.txt"));
    EXPECT_FALSE(fsys::exists(out / "top.txt"));
}

TEST_F(ScanPageTest, SaveWithoutFolderOrWithFileSelectionDoesNothing) {
    scanned();
    page->treeSelected(child(top(), "docs"));
    page->command(VolumeScanDlg::kSave);  // the folder chooser is cancelled
    EXPECT_EQ(gui.lastMessage(), "Please select valid output folder");
    EXPECT_FALSE(page->running());

    gui.clearMessages();
    page->treeSelected(child(top(), "top.txt"));
    TempDir out;
    gui.queueFolder(out.path().string());
    page->command(VolumeScanDlg::kSave);
    EXPECT_TRUE(gui.messageTexts().empty());
    EXPECT_TRUE(fsys::is_empty(out.path()));
}

TEST_F(ScanPageTest, SaveAfterAStoppedScanStillWritesEverything) {
    fake->closeGate();
    open();
    page->stop();
    ASSERT_TRUE(finish());
    ASSERT_TRUE(page->dumpStop);
    fake->openGate();
    page->treeSelected(child(top(), "docs"));
    TempDir out;
    saveInto(out.path());
    EXPECT_FALSE(page->dumpStop);
    EXPECT_TRUE(savedAll(gui.lastMessage())) << gui.lastMessage();
    EXPECT_EQ(readText(out.path() / "sub" / "c.txt"), "charlie");
}

TEST_F(ScanPageTest, TreeBackAndSaveRefusedWhileSaving) {
    scanned();
    page->treeSelected(child(top(), "docs"));
    TempDir out;
    fake->closeGate();
    gui.queueFolder(out.path().string());
    gui.queueAnswer(app::Answer::Yes);
    page->command(VolumeScanDlg::kSave);
    ASSERT_TRUE(page->running());
    EXPECT_TRUE(gui.visible(kPage, VolumeScanDlg::kStop));
    EXPECT_TRUE(gui.visible(kPage, VolumeScanDlg::kProgress));
    EXPECT_FALSE(gui.enabled(kPage, VolumeScanDlg::kTree));
    gui.clearMessages();
    EXPECT_FALSE(page->treeExpanding(child(child(top(), "docs"), "sub")));
    EXPECT_FALSE(page->treeSelected(child(top(), "top.txt")));
    EXPECT_FALSE(page->treeDoubleClicked(child(top(), "top.txt")));
    page->back();
    EXPECT_EQ(gui.messageTexts(), std::vector<std::string>(4, kWait));
    EXPECT_FALSE(child(child(top(), "docs"), "sub").filled);
    fake->openGate();
    ASSERT_TRUE(finish());
    EXPECT_TRUE(savedAll(gui.lastMessage())) << gui.lastMessage();
    EXPECT_TRUE(gui.openedUrls().empty());  // answered No
}

TEST_F(ScanPageTest, StopDuringSaveEndsTheWalkAndSaysSo) {
    scanned();
    page->treeSelected(child(top(), "docs"));
    TempDir out;
    fake->closeGate();
    gui.queueFolder(out.path().string());
    gui.queueAnswer(app::Answer::Yes);
    page->command(VolumeScanDlg::kSave);
    // Stop once the walk is inside its first file (a save starts by clearing an
    // earlier stop request).
    for (int i = 0; i < 6000 && fake->savesStarted == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GT(fake->savesStarted, 0);
    page->stop();
    ASSERT_TRUE(finish());
    EXPECT_NE(gui.lastMessage().find("work done"), std::string::npos);
    EXPECT_NE(gui.lastMessage().find("stopped"), std::string::npos);
    EXPECT_FALSE(fsys::exists(out.path() / "sub" / "c.txt"));
}

TEST_F(ScanPageTest, DoubleClickOnFileAsksForAFolderOnceAndSavesIt) {
    scanned();
    TempDir out;
    page->treeDoubleClicked(child(top(), "top.txt"));  // chooser cancelled
    EXPECT_EQ(gui.lastMessage(), "Please select valid output folder");
    EXPECT_FALSE(page->running());

    gui.clearMessages();
    gui.queueFolder(out.path().string());
    page->treeDoubleClicked(child(top(), "top.txt"));
    ASSERT_TRUE(finish());
    EXPECT_EQ(readText(out / "top.txt"), "top");
    EXPECT_TRUE(gui.messageTexts().empty());
    EXPECT_EQ(gui.textOf(kPage, VolumeScanDlg::kFileSize),
              "file is dumped in path  :  " + (out.path() / "top.txt").string() + "   ");

    // The chosen folder is kept: the next double click writes there at once.
    page->treeDoubleClicked(child(top(), "gone.bin"));
    ASSERT_TRUE(finish());
    EXPECT_EQ(readText(out / "gone.bin"), "gone");
}

// The preview reads a list row's file on its own thread; when the selection
// moves on before the read is shown, only the latest row's content arrives.
TEST_F(ScanPageTest, PreviewShowsOnlyTheLatestSelection) {
    scanned();
    page->treeSelected(child(top(), "docs"));
    std::vector<std::string> shown;
    page->onPreview = [&](const browse::PreviewBytes& b) {
        shown.push_back(b.name + "=" + std::string(b.bytes.begin(), b.bytes.end()));
    };
    EXPECT_TRUE(page->previewRow(0));
    EXPECT_TRUE(page->previewRow(1));
    ASSERT_TRUE(gui.runPostedUntil([&] { return !shown.empty(); }));
    EXPECT_EQ(shown, std::vector<std::string>{"b.txt=bravo"});
    EXPECT_FALSE(page->previewRow(-1));
}

// The allocation map (for the Condition column) is read by the scan's worker,
// not on the interface thread when the list first fills.
TEST_F(ScanPageTest, AllocationMapIsReadOnTheScanWorker) {
    scanned();
    EXPECT_NE(fake->mapReadOn, std::thread::id{});
    EXPECT_NE(fake->mapReadOn, std::this_thread::get_id());
}

}  // namespace
}  // namespace tavrel::test
