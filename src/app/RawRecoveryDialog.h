// Raw recovery page (151): picks the rule files (the default FileSetting.txt
// beside the executable and/or a file of the user's), carves the selected volume
// on the page's worker with Pause/Resume/Stop, shows the found files in a tree of
// categories, and saves the ticked ones into a folder asked for at each Save.
//
// A page serves one scan: after Parse, Parse, Setting and "Load Default Items"
// stay disabled; Back (enabled whenever nothing runs) leads to the volume list.
// The tree is a plain model here (categories and found-file indexes with their
// check states); the front end draws it and reports ticks and selections.
//
// Found files show while the carve runs: at the worker's progress reports, at
// most every kTreeBatchInterval, the files found since the last batch are copied
// on the worker's thread (the engine's list is touched by no other thread while
// it runs) and handed to the interface thread, which appends them to the tree
// (onFilesAdded) and to the file list when their category is the selected one.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/PageController.h"
#include "app/PageWorker.h"
#include "app/PreviewReader.h"
#include "app/RawSettingDlg.h"
#include "browse/SaveReport.h"
#include "fs/ExtentCopy.h"
#include "image/VolumeView.h"
#include "raw/myJpg.h"
#include "volume/VolumeRecord.h"

namespace tavrel::app {

class RawRecoveryDialog : public PageController {
public:
    // Control ids of the page.
    static constexpr const char* kRuleFile = "ruleFile";        // path of the user's rule file
    static constexpr const char* kBrowseRules = "browseRules";  // "..."
    static constexpr const char* kLoadDefault = "loadDefault";  // check box "Load Default Items"
    static constexpr const char* kFreeOnly = "freeOnly";        // check box "Free space only"
    static constexpr const char* kParse = "parse";
    static constexpr const char* kSetting = "setting";
    static constexpr const char* kTree = "tree";
    static constexpr const char* kList = "list";
    static constexpr const char* kSave = "save";
    static constexpr const char* kPause = "pause";
    static constexpr const char* kResume = "resume";
    static constexpr const char* kStop = "stop";
    static constexpr const char* kProgress = "progress";
    static constexpr const char* kStatus = "status";
    static constexpr const char* kBack = "back";

    static constexpr std::chrono::milliseconds kTreeBatchInterval{250};

    struct TreeCategory {
        std::string name;
        std::int64_t count = 0;
        std::vector<std::size_t> files;  // indexes into the engine's found list
    };

    RawRecoveryDialog(CKeswinApp& app, const VolumeRecord& record);
    ~RawRecoveryDialog() override;

    void open() override;
    void back() override;
    void command(const std::string& controlId) override;  // kBrowseRules, kParse, kSetting, kSave
    void pause() override;
    void resume() override;
    void stop() override;
    void shutdown() override;

    void browseRules();
    void parse();
    void setting();
    void save();

    // Tree (interface thread): category -1 is the top item; a found file is
    // selected with its category and file index.
    void treeSelected(int category, int file = -1);
    void setFileChecked(std::size_t foundIndex, bool checked);
    bool fileChecked(std::size_t foundIndex) const;
    std::string fileName(std::size_t foundIndex) const;
    std::size_t fileCategory(std::size_t foundIndex) const;
    std::size_t shownFiles() const { return shown_.size(); }  // found files the tree holds
    static std::string categoryText(const TreeCategory& category);
    const std::vector<TreeCategory>& tree() const { return tree_; }

    // The Setting page's logic, reporting through this page's Gui.
    RawSettingDlg settingPage() { return RawSettingDlg(gui()); }

    // A found file as the tree shows it.
    struct ShownFile {
        std::string name;
        std::size_t category = 0;
        std::int64_t length = 0;  // bytes the save writes
        std::vector<fs::Extent> extents;  // where they lie on the volume (for the preview)
    };
    // A row of the found list: the name and the size.
    static std::vector<std::string> rowOf(const ShownFile& file);
    // Interface thread: appends found files from index `first` on (files the tree
    // already holds are passed over).
    void addFound(std::size_t first, const std::vector<ShownFile>& files);

    // Set by the front end: redraw the tree after it changed; append the files
    // from index `first` on and relabel their categories; open the Setting page.
    std::function<void()> onTreeChanged;
    std::function<void(std::size_t first)> onFilesAdded;
    std::function<void()> onOpenSettings;
    // Set by the front end before open(): the rule file kept from an earlier run
    // ("" for none), shown instead of the default while it exists; and told of
    // each rule file taken through "...", to keep it.
    std::string keptRuleFile;
    std::function<void(const std::string&)> onRuleFileTaken;

    // The preview of a found file (by found index, or by its row in the file
    // list): its bytes read from the volume at its offset, bounded by its
    // length, on the preview's thread; onPreview gets them unless the
    // selection moved on. An index out of range drops any read under way and
    // returns false.
    bool previewFound(std::size_t foundIndex);
    bool previewListRow(int row);
    std::function<void(const browse::PreviewBytes&)> onPreview;

    bool running() const { return running_; }
    const VolumeRecord& volume() const { return volume_; }
    const raw::myJpg& engine() const { return *engine_; }
    const browse::SaveReport& lastSave() const { return lastSave_; }
    // The default rule file; replaceable before Parse (tests).
    std::string defaultRulePath;

private:
    bool refuseWhileRunning();
    void endEarly();
    void startCarve();
    void endCarve();
    void rebuildTree();
    void addRemainingFound();
    void endSave();

    VolumeRecord volume_;
    std::unique_ptr<raw::myJpg> engine_;
    std::unique_ptr<VolumeView> view_;
    std::vector<TreeCategory> tree_;
    std::vector<ShownFile> shown_;  // by found index
    std::vector<bool> checked_;
    int selectedCategory_ = -1;
    bool running_ = false;
    bool parsed_ = false;
    raw::CarveResult carved_ = raw::CarveResult::Done;
    bool freeOnly_ = false;
    bool noFreeSpaceMap_ = false;  // free space only, and the volume's map could not be read
    browse::SaveReport lastSave_;
    std::string lastOutput_;  // the folder of the last save
    PageWorker worker_;
    // Batches posted by the worker run only while the page lives.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    PreviewReader preview_;  // reads view_: ends first
};

}  // namespace tavrel::app
