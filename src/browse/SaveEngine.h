// Saving entries of a parsed volume into a host folder, for the scan page's
// worker thread and for `tavrel-cli recover`. Generic over fs::Parser: the
// per-parser rules come from skipInSave/enterInSave and from saveFile, which
// streams each file's content into a HostFile (no file is held in memory).
//
// Progress goes to the WorkControl: range 0..file count, position = files done,
// status "saving File  <path>" per file; the second status line ("File size: N
// kb", then "file is dumped in path  :  ...") goes to the detail sink. Every
// entry is preceded by work.checkpoint(): Pause holds the walk, Stop ends it.
// Each save clears an earlier stop request when it starts.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "browse/HostOutput.h"
#include "browse/SaveReport.h"
#include "fs/Parser.h"
#include "util/WorkControl.h"

namespace tavrel::browse {

// One ticked tree item: the entry and the folder entries from below the top
// item down to its parent (so its path below the top item is kept).
struct SaveItem {
    fs::EntryRef entry = 0;
    std::vector<fs::EntryRef> parents;
};

class SaveEngine {
public:
    SaveEngine(fs::Parser& parser, WorkControl& work) : parser_(parser), work_(work) {}

    // The second status line (the scan page's size text).
    void setDetailSink(std::function<void(const std::string&)> sink) { detail_ = std::move(sink); }
    // Called once per file as soon as it is done, whatever the result.
    void setObserver(std::function<void(const FileOutcome&)> observer) { observer_ = std::move(observer); }
    // How the free space of the output folder's disk is asked (default: statvfs).
    void setFreeSpaceQuery(FreeSpaceQuery query) { freeSpace_ = std::move(query); }

    // Files below a folder (nullopt: the top item), counted recursively the way
    // the save walks them: skipped files count, folders not entered do not.
    std::int64_t countFiles(std::optional<fs::EntryRef> folder) const;
    std::int64_t countSelection(const std::vector<SaveItem>& items) const;

    // Nothing ticked: the folder's subtree (nullopt: everything), its children
    // landing directly in `out`. A file given here is not saved (error set).
    SaveReport saveFolder(std::optional<fs::EntryRef> folder, const std::filesystem::path& out);

    // Several entries into `out`: a folder's children land directly in `out`, a
    // file lands in `out` itself (used when one path names several entries).
    SaveReport saveEntries(const std::vector<fs::EntryRef>& entries, const std::filesystem::path& out);

    // Ticked items: exactly the ticked files and the ticked folders' subtrees,
    // each under its folders below the top item. Items inside a ticked folder
    // are written once, as part of that folder.
    SaveReport saveSelection(const std::vector<SaveItem>& items, const std::filesystem::path& out);

    // Double click on a file: that one file into `out`; progress untouched.
    SaveReport saveOne(fs::EntryRef file, const std::filesystem::path& out);

private:
    fs::Parser& parser_;
    WorkControl& work_;
    std::function<void(const std::string&)> detail_;
    std::function<void(const FileOutcome&)> observer_;
    FreeSpaceQuery freeSpace_;
};

}  // namespace tavrel::browse
