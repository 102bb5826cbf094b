// Scan page (139): picks the volume's parser, runs its scan on the page's worker
// thread while the status line and progress bar follow it, then presents the
// entry tree and file list, and saves the ticked search results, else the ticked
// entries, else the selected folder, on the same worker with the progress bar
// and Stop.
//
// `running` (the worker's flag) guards the page against its own worker: while a
// scan or a save runs, Back, Save, Search and the tree handlers refuse with
// "Please wait for the running process.", so the parser and the reader are never
// used by two threads at once. Search runs the name search over the whole volume
// on the same worker and lists the hits with their full paths; while it runs the
// tree is disabled and shown in its search colours (EntryTree::setSearching).
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/EntryTree.h"
#include "app/FileList.h"
#include "app/PageController.h"
#include "app/PageWorker.h"
#include "app/PreviewReader.h"
#include "browse/EntryWalk.h"
#include "browse/NameSearch.h"
#include "browse/SaveReport.h"
#include "fs/Parser.h"
#include "fs/factory/FsKinds.h"
#include "volume/VolumeRecord.h"

namespace tavrel::app {

namespace scantexts {
inline constexpr const char* kNoReader = "Please Restart the program to re begin necessary initialization...";
inline constexpr const char* kNotValidDrive = "not a valid drive.";
inline constexpr const char* kNotValidDriveStatus = "Not a valid Drive .Go back";
inline constexpr const char* kReadError = "The volume could not be read.";
inline constexpr const char* kTooLarge = "The volume claims more than this computer can hold in memory; it may be damaged.";
inline constexpr const char* kScanStopped = "Scanning was stopped. The tree shows only what was found before Stop.";
inline constexpr const char* kScanDone = "Scanning processing done.Select save button to save the data.";
inline constexpr const char* kAborted = "Running process Aborted....";
inline constexpr const char* kDamagedEmpty = browse::kDamagedEmptyText;
inline constexpr const char* kPausePressed = "Pause button pressed";
inline constexpr const char* kResumePressed = "Resume button pressed";
inline constexpr const char* kStopPressed = "stop button pressed.Please wait for the process to be stopped.";
inline constexpr const char* kAllStopped = "All thread Stopped";
inline constexpr const char* kSearchNote = "* Use \"|\" to find multiple file type ";
// After a Standard scan that found no boot record of a kind Advanced mode hunts for.
inline std::string advancedHuntsText(const char* what) {
    return std::string("Advanced mode hunts for ") + what + " and may still find the files: go Back and choose Advanced.";
}
}  // namespace scantexts

class VolumeScanDlg : public PageController {
public:
    // Control ids of the page.
    static constexpr const char* kTree = "tree";
    static constexpr const char* kList = "list";
    static constexpr const char* kProgress = "progress";
    static constexpr const char* kStatus = "status";
    static constexpr const char* kVolumeData = "volumeData";    // "Volume Data:"
    static constexpr const char* kSearchText = "searchText";
    static constexpr const char* kSearch = "search";
    static constexpr const char* kPause = "pause";
    static constexpr const char* kResume = "resume";
    static constexpr const char* kStop = "stop";
    static constexpr const char* kBack = "back";
    static constexpr const char* kSave = "save";
    static constexpr const char* kHelp = "help";
    static constexpr const char* kOutputFolder = "outputFolder";  // hidden
    static constexpr const char* kFileSize = "fileSize";          // second status text

    VolumeScanDlg(CKeswinApp& app, const VolumeRecord& record, int recoveryMode, int maxFileSystems,
                  bool driveFormatted);
    ~VolumeScanDlg() override;

    // Picks the parser for the volume; fs::makeParser unless replaced (tests)
    // before open().
    using ParserMaker =
        std::function<std::unique_ptr<fs::Parser>(const std::string&, const VolumeView&, const fs::ScanOptions&)>;
    void setParserMaker(ParserMaker maker) { parserMaker_ = std::move(maker); }

    void open() override;
    void back() override;
    void command(const std::string& controlId) override;  // kSave, kSearch
    void exitApp() override;
    void pause() override;
    void resume() override;
    void stop() override;
    void shutdown() override;

    void save();
    void search();

    // Tree and list handlers (interface thread). Each returns false when it was
    // refused because a job runs.
    bool treeExpanding(EntryTree::Node& node);
    bool treeSelected(EntryTree::Node& node);
    bool treeDoubleClicked(EntryTree::Node& node);
    void treeCheckToggled(EntryTree::Node& node, bool checked);
    void listRowChecked(int row, bool checked);
    void listHeaderClicked();

    // The preview of a list row's file (interface thread): read through the
    // parser on the preview's thread, in the parser's turn; onPreview gets the
    // prefix unless the selection moved on. A row of -1 (or a job running)
    // drops any read under way and returns false.
    bool previewRow(int row);
    std::function<void(const browse::PreviewBytes&)> onPreview;

    EntryTree& tree() { return tree_; }
    FileList& fileList() { return list_; }
    const VolumeRecord& volume() const { return volume_; }
    fs::Parser* activeParser() const { return parser_.get(); }
    bool running() const { return worker_.running(); }
    // The last save's report (for the page's texts and for tests).
    const browse::SaveReport& lastSave() const { return lastSave_; }
    // The last name search's hits (paths below the top item).
    const browse::SearchResult& lastSearch() const { return lastSearch_; }

    // Set by the front end: the tree's search colours go on (true) or off.
    std::function<void(bool searching)> onTreeSearching;

    int recoveryMode = -1;
    std::atomic<bool> dumpStop{false};  // set by Stop; a save walk ends when set

private:
    bool refuseWhileRunning();
    void startScan();
    void endScan(const fs::ScanOutcome& outcome);
    static std::string failureText(const fs::ScanOutcome& outcome);
    void setBrowsingEnabled(bool enabled);
    bool ensureOutputFolder(bool askFirst);
    std::vector<browse::SaveItem> tickedResults() const;
    void startSave(std::vector<browse::SaveItem> items, std::optional<fs::EntryRef> folder,
                   std::optional<fs::EntryRef> single, std::int64_t count);
    void endSave(std::int64_t count, bool single);
    void setSearchRunning(bool running);
    void endSearch();
    std::vector<EntryTree::Node*> fileItemsOf(EntryTree::Node& node);

    VolumeRecord volume_;
    const fs::FsKindRow* kind_ = nullptr;  // the volume's row of the kind table, if any
    fs::ScanOptions options_;
    ParserMaker parserMaker_;
    // Declaration order is destruction order reversed: the worker is joined first,
    // then the list and tree forget their nodes, and only then the parser dies.
    std::unique_ptr<fs::Parser> parser_;
    EntryTree tree_;
    FileList list_{tree_};
    browse::SaveReport lastSave_;
    browse::SearchResult lastSearch_;  // written by the worker, read after it was joined
    fs::ScanOutcome outcome_;  // written by the worker, read after it was joined
    std::int64_t warningsBeforeSave_ = 0;
    PageWorker worker_;
    PreviewReader preview_;  // ends before the worker and the parser
};

}  // namespace tavrel::app
