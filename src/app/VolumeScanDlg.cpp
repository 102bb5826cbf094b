#include "app/VolumeScanDlg.h"

#include <exception>
#include <new>

#include "app/CKeswinApp.h"
#include "app/PageFactory.h"
#include "app/PageTexts.h"
#include "app/SaveEnd.h"
#include "browse/EntryWalk.h"
#include "browse/NamePattern.h"
#include "browse/NameSearch.h"
#include "browse/RecycleBin.h"
#include "browse/SaveEngine.h"
#include "browse/SaveTexts.h"
#include "fs/factory/FsKinds.h"
#include "fs/factory/ParserFactory.h"
#include "image/VolumeView.h"
#include "util/Unicode.h"

namespace tavrel::app {

std::unique_ptr<PageController> makeScanPage(CKeswinApp& app, const VolumeRecord& record, int recoveryMode,
                                             int maxFileSystems, bool driveFormatted) {
    return std::make_unique<VolumeScanDlg>(app, record, recoveryMode, maxFileSystems, driveFormatted);
}

VolumeScanDlg::VolumeScanDlg(CKeswinApp& app, const VolumeRecord& record, int mode, int maxFileSystems,
                             bool driveFormatted)
    : PageController(app, kScanPage), volume_(record), parserMaker_(fs::makeParser), worker_(app.gui(), kScanPage), preview_(app.gui()) {
    recoveryMode = mode;
    options_.mode = static_cast<fs::RecoveryMode>(mode);
    options_.maxFileSystems = maxFileSystems;
    options_.driveFormatted = driveFormatted;
}

VolumeScanDlg::~VolumeScanDlg() {
    preview_.shutdown();
    worker_.shutdown();
}

void VolumeScanDlg::open() {
    Gui& g = gui();
    g.setWindowTitle(pageId_, kAppTitle);
    g.setVisible(pageId_, kOutputFolder, false);
    g.setEnabled(pageId_, kBack, false);
    g.setText(pageId_, kVolumeData, volume_.volumeName);

    if (!app_.currentReader) {
        g.messageBox(scantexts::kNoReader);
        // Nothing can start here; Back is the only way on.
        g.setEnabled(pageId_, kBack, true);
        worker_.showControls(false, false);
        return;
    }

    const std::string kind(trim(volume_.fsName));
    kind_ = fs::findKind(kind);
    if (kind_ && kind_->selectedStatus) g.setText(pageId_, kStatus, kind_->selectedStatus);

    const VolumeView view = volumeViewOf(*app_.currentReader, volume_);
    parser_ = parserMaker_(kind, view, options_);
    if (!parser_) {
        g.messageBox(scantexts::kNotValidDrive);
        g.setEnabled(pageId_, kBack, true);
        g.setText(pageId_, kStatus, scantexts::kNotValidDriveStatus);
        worker_.showControls(false, false);
        return;
    }
    startScan();
}

void VolumeScanDlg::setBrowsingEnabled(bool enabled) {
    tree_.setLocked(!enabled);
    gui().setEnabled(pageId_, kTree, enabled);
    gui().setEnabled(pageId_, kList, enabled);
}

void VolumeScanDlg::startScan() {
    setBrowsingEnabled(false);
    worker_.showControls(true, true);
    fs::Parser* parser = parser_.get();
    worker_.start(
        [this, parser](WorkControl& work) {
            // Nothing thrown on the worker may end the process: a scan that throws
            // is reported as aborted.
            try {
                outcome_ = parser->scan(work);
                // Before the tree is filled: recycled files take their former names.
                if (outcome_.ok()) browse::renameRecycled(*parser, work);
                // The allocation map is read here, so the Condition column does
                // not read it on the interface thread when the list first fills.
                if (outcome_.ok()) parser->allocationMap();
            } catch (const std::bad_alloc&) {
                outcome_ = fs::ScanOutcome::fail(fs::ScanResult::Damaged, -1, scantexts::kTooLarge);
            } catch (const std::exception&) {
                outcome_ = fs::ScanOutcome::fail(fs::ScanResult::Damaged, -1, {});
            }
        },
        [this] { endScan(outcome_); });
}

std::string VolumeScanDlg::failureText(const fs::ScanOutcome& outcome) {
    if (!outcome.text.empty()) return outcome.text;
    if (outcome.result == fs::ScanResult::ReadError) {
        std::string text = scantexts::kReadError;
        if (outcome.offset >= 0) text += " (volume byte offset " + std::to_string(outcome.offset) + ")";
        return text;
    }
    return {};
}

void VolumeScanDlg::endScan(const fs::ScanOutcome& outcome) {
    const bool ok = outcome.ok();
    Gui& g = gui();
    setBrowsingEnabled(true);
    if (ok) {
        list_.clear();
        tree_.populate(*parser_, app_.rootName);
    }
    g.setEnabled(pageId_, kBack, true);
    // The bar and the work buttons go before any message shows.
    worker_.showControls(false, false);
    if (ok) {
        // A stopped scan says its tree is partial; a listing built around
        // unreadable or damaged parts, or read through a backup structure, says
        // so: a failing disk never looks complete. Damage that left no file at
        // all is told instead of the end of the scan.
        const char* done = outcome.result == fs::ScanResult::Stopped ? scantexts::kScanStopped : scantexts::kScanDone;
        if (browse::damagedAndEmpty(*parser_, outcome)) done = scantexts::kDamagedEmpty;
        // The status line leaves the scan's last step before the message shows.
        g.setText(pageId_, kStatus, done);
        g.messageBox(done);
        // A warning the scan left (a backup structure used, a geometry that
        // does not fit) is shown after it and kept on the status line.
        std::string status = done;
        if (const std::string& warning = parser_->scanWarning(); !warning.empty()) {
            g.messageBox(warning);
            status += " " + warning;
        }
        if (const std::string warned = fs::warningSummary(parser_->warnings()); !warned.empty()) status += " " + warned;
        g.setText(pageId_, kStatus, status);
    } else if (std::string text = failureText(outcome); !text.empty()) {
        // A destroyed boot record is no dead end where Advanced mode hunts for copies.
        if (outcome.result == fs::ScanResult::NotThisKind && options_.mode == fs::RecoveryMode::Standard && kind_ &&
            kind_->advancedHunts)
            text += "\n" + scantexts::advancedHuntsText(kind_->advancedHunts);
        g.messageBox(text);
    } else {
        g.setText(pageId_, kStatus, scantexts::kAborted);
    }
}

bool VolumeScanDlg::refuseWhileRunning() {
    if (!worker_.running()) return false;
    gui().messageBox(texts::kWaitForProcess);
    return true;
}

void VolumeScanDlg::back() {
    if (refuseWhileRunning()) return;
    PageController::back();
}

void VolumeScanDlg::command(const std::string& controlId) {
    if (controlId == kSave) save();
    else if (controlId == kSearch) search();
}

void VolumeScanDlg::pause() { worker_.pauseButton(scantexts::kPausePressed); }

void VolumeScanDlg::resume() { worker_.resumeButton(scantexts::kResumePressed); }

void VolumeScanDlg::stop() {
    if (!parser_) return;
    worker_.requestStop();
    dumpStop = true;
    gui().setText(pageId_, kStatus, scantexts::kStopPressed);
}

void VolumeScanDlg::exitApp() {
    if (parser_) {
        worker_.requestStop();
        dumpStop = true;
        gui().setText(pageId_, kStatus, scantexts::kAllStopped);
    }
    // Shuts every page down (joining this page's worker) before any is destroyed.
    PageController::exitApp();
}

void VolumeScanDlg::shutdown() {
    preview_.shutdown();
    worker_.shutdown();
}

// ---- name search -------------------------------------------------------------

void VolumeScanDlg::search() {
    if (refuseWhileRunning()) return;
    if (!parser_ || !tree_.top()) return;
    Gui& g = gui();
    app_.searchText = g.text(pageId_, kSearchText);
    lastSearch_ = {};
    list_.showResults({});
    if (app_.searchText.empty()) {
        g.messageBox(browse::texts::kSearchFinished);
        return;
    }
    // A refused pattern leaves the page idle at once, without a worker.
    if (!browse::NamePattern::compile(app_.searchText)) {
        g.messageBox(browse::texts::kSearchRefused);
        return;
    }
    preview_.halt();
    setSearchRunning(true);
    fs::Parser* parser = parser_.get();
    worker_.start([this, parser, pattern = app_.searchText](
                      WorkControl& work) { lastSearch_ = browse::searchNames(*parser, pattern, work); },
                  [this] { endSearch(); });
}

void VolumeScanDlg::setSearchRunning(bool running) {
    setBrowsingEnabled(!running);
    tree_.setSearching(running);
    if (onTreeSearching) onTreeSearching(running);
    gui().setEnabled(pageId_, kSearch, !running);
    gui().setEnabled(pageId_, kSave, !running);
    worker_.showControls(running, true);
}

void VolumeScanDlg::endSearch() {
    setSearchRunning(false);
    // Rows carry the full path from the top item, with "/" between names.
    std::vector<FileList::Found> rows;
    rows.reserve(lastSearch_.hits.size());
    for (const browse::SearchHit& hit : lastSearch_.hits)
        rows.push_back({hit.entry, app_.rootName + "/" + hit.path, parser_->isDeleted(hit.entry)});
    list_.showResults(rows);
    gui().messageBox(browse::texts::kSearchFinished);
}

// ---- tree and list ---------------------------------------------------------

std::vector<EntryTree::Node*> VolumeScanDlg::fileItemsOf(EntryTree::Node& node) {
    std::vector<EntryTree::Node*> files;
    for (const auto& c : node.children)
        if (!c->folder) files.push_back(c.get());
    return files;
}

bool VolumeScanDlg::treeExpanding(EntryTree::Node& node) {
    if (refuseWhileRunning()) return false;
    if (parser_ && node.folder) tree_.fill(node);
    return true;
}

bool VolumeScanDlg::treeSelected(EntryTree::Node& node) {
    if (refuseWhileRunning()) return false;
    if (!parser_) return true;
    tree_.selected = &node;
    if (node.folder) {
        // Every folder click replaces the list, an empty folder's too.
        tree_.fill(node);
        list_.show(fileItemsOf(node), false);
    } else {
        list_.show({&node}, false);
    }
    return true;
}

bool VolumeScanDlg::treeDoubleClicked(EntryTree::Node& node) {
    if (refuseWhileRunning()) return false;
    if (!parser_) return true;
    tree_.selected = &node;
    if (node.folder) {
        tree_.fill(node);
        list_.show(fileItemsOf(node), true);
        return true;
    }
    if (!node.entry || !ensureOutputFolder(false)) return true;
    startSave({}, std::nullopt, node.entry, 0);
    return true;
}

void VolumeScanDlg::treeCheckToggled(EntryTree::Node& node, bool checked) {
    tree_.setChecked(node, checked);
    list_.refreshChecks();
}

void VolumeScanDlg::listRowChecked(int row, bool checked) { list_.setChecked(row, checked); }

void VolumeScanDlg::listHeaderClicked() { list_.toggleHeader(); }

bool VolumeScanDlg::previewRow(int row) {
    if (row < 0 || row >= list_.rowCount() || worker_.running() || !parser_ || !list_.row(row).entry) {
        preview_.cancel();
        return false;
    }
    fs::Parser* parser = parser_.get();
    const EntryTree* tree = &tree_;
    preview_.request(
        [parser, tree, entry = *list_.row(row).entry](WorkControl& work) {
            const std::lock_guard turn(tree->parserTurn());
            return browse::readEntryPrefix(*parser, entry, work);
        },
        [this](const browse::PreviewBytes& bytes) {
            if (onPreview) onPreview(bytes);
        });
    return true;
}

// ---- saving ----------------------------------------------------------------

// The output folder: asked for first (Save), or only when none was chosen yet
// (double click). False, after "Please select valid output folder", when empty.
bool VolumeScanDlg::ensureOutputFolder(bool askFirst) {
    Gui& g = gui();
    if (askFirst || g.text(pageId_, kOutputFolder).empty())
        g.setText(pageId_, kOutputFolder, g.chooseFolderDialog(browse::texts::kChooseFolderTitle));
    if (!g.text(pageId_, kOutputFolder).empty()) return true;
    g.messageBox(browse::texts::kNoOutputFolder);
    return false;
}

void VolumeScanDlg::save() {
    if (refuseWhileRunning()) return;
    if (!parser_ || !tree_.top()) return;
    if (!ensureOutputFolder(true)) return;
    preview_.halt();

    // Ticked search results first; none: the ticks of the tree; none: the folder.
    std::vector<browse::SaveItem> items = tickedResults();
    if (items.empty()) items = tree_.checkedItems();
    std::optional<fs::EntryRef> folder;
    WorkControl idle;
    const browse::SaveEngine counter(*parser_, idle);
    std::int64_t count = 0;
    if (!items.empty()) {
        count = counter.countSelection(items);
    } else {
        // Nothing ticked: the selected folder (the top item stands for the volume).
        const EntryTree::Node* node = tree_.selected;
        if (!node || !node->folder) return;
        folder = node->entry;
        count = counter.countFiles(folder);
    }
    const std::string question = browse::texts::countQuestion(kind_ && kind_->capitalisedCountQuestion, count);
    if (gui().messageBox(question, Buttons::YesNo, Icon::Question) != Answer::Yes) return;
    startSave(std::move(items), folder, std::nullopt, count);
}

// The ticked rows of the search results, each with the folders above it, so
// that it is saved at its path below the top item.
std::vector<browse::SaveItem> VolumeScanDlg::tickedResults() const {
    std::vector<browse::SaveItem> items;
    if (!list_.showingSearchResults) return items;
    const std::vector<browse::SearchHit>& hits = lastSearch_.hits;
    for (int r = 0; r < list_.rowCount() && static_cast<std::size_t>(r) < hits.size(); ++r) {
        const FileList::Row& row = list_.row(r);
        const browse::SearchHit& hit = hits[static_cast<std::size_t>(r)];
        if (row.checked && row.entry == hit.entry) items.push_back({hit.entry, hit.parents});
    }
    return items;
}

void VolumeScanDlg::startSave(std::vector<browse::SaveItem> items, std::optional<fs::EntryRef> folder,
                              std::optional<fs::EntryRef> single, std::int64_t count) {
    preview_.halt();
    dumpStop = false;
    lastSave_ = {};
    warningsBeforeSave_ = parser_->warnings().unreadableRanges();
    setBrowsingEnabled(false);
    if (single) {
        gui().setVisible(pageId_, kStop, true);
    } else {
        gui().setProgressRange(pageId_, 0, count);
        gui().setProgressPosition(pageId_, 0);
        worker_.showControls(true, false);
    }
    const std::string out = gui().text(pageId_, kOutputFolder);
    fs::Parser* parser = parser_.get();
    Gui* g = &gui();
    const int page = pageId_;
    worker_.start(
        [this, parser, g, page, out, items = std::move(items), folder, single](WorkControl& work) {
            browse::SaveEngine engine(*parser, work);
            engine.setDetailSink([g, page](const std::string& text) { g->setText(page, kFileSize, text); });
            try {
                if (single) lastSave_ = engine.saveOne(*single, out);
                else if (!items.empty()) lastSave_ = engine.saveSelection(items, out);
                else lastSave_ = engine.saveFolder(folder, out);
            } catch (const std::exception& e) {
                lastSave_.error = std::string("Saving failed: ") + e.what();
            }
        },
        [this, count, single = single.has_value()] { endSave(count, single); });
}

void VolumeScanDlg::endSave(std::int64_t count, bool single) {
    Gui& g = gui();
    setBrowsingEnabled(true);
    if (!single) g.setProgressPosition(pageId_, count);
    worker_.showControls(false, false);
    const std::int64_t zeroed = parser_->warnings().unreadableRanges() - warningsBeforeSave_;
    const std::string zeroText =
        zeroed > 0 ? "\n" + std::to_string(zeroed) + " unreadable range(s) were written as zeros." : std::string();
    if (!lastSave_.error.empty()) {
        g.messageBox(lastSave_.error);
    } else if (single && !lastSave_.notes.empty() && !lastSave_.notes.front().parserMessage.empty()) {
        // The parser's own word on this entry ("Not a valid entry...").
        g.messageBox(lastSave_.notes.front().parserMessage);
    } else if (single) {
        // A single file written shows where it went (its name may have been made
        // safe or distinct) in the second status line, without a message.
        if (!lastSave_.ok()) g.messageBox("The file was not saved completely." + browse::texts::saveProblems(lastSave_) + zeroText);
        else if (!lastSave_.lastWritten.empty()) g.setText(pageId_, kFileSize, browse::texts::dumpedText(lastSave_.lastWritten));
    } else {
        // The end message counts what was written and offers to show the output folder.
        const std::string conditions = browse::texts::deletedConditionText(lastSave_.deletedByCondition);
        const std::string text = browse::texts::kWorkDone + ("\n" + browse::texts::savedCountsText(lastSave_)) +
                                 browse::texts::saveProblems(lastSave_) + zeroText +
                                 (conditions.empty() ? "" : "\n" + conditions);
        offerOutputFolder(g, text, g.text(pageId_, kOutputFolder));
    }
}

}  // namespace tavrel::app
