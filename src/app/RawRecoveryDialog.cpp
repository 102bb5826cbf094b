#include "app/RawRecoveryDialog.h"

#include <sys/stat.h>

#include <exception>
#include <optional>

#include "app/CKeswinApp.h"
#include "app/PageFactory.h"
#include "app/PageTexts.h"
#include "app/RawTexts.h"
#include "app/SaveEnd.h"
#include "browse/SaveTexts.h"
#include "raw/FreeSpace.h"
#include "raw/RawSave.h"
#include "raw/RuleFile.h"
#include "raw/RuleTexts.h"
#include "util/Texts.h"

namespace tavrel::app {

namespace {

bool fileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

using ShownFile = RawRecoveryDialog::ShownFile;

// The tree's view of the engine's found files from index `first` on. On the
// worker's thread while it carves, or after it was joined.
std::vector<ShownFile> shownFrom(const raw::myJpg& engine, std::size_t first) {
    std::vector<ShownFile> files;
    const auto& found = engine.found();
    for (std::size_t i = first; i < found.size(); ++i)
        files.push_back({engine.nameOf(found[i]), engine.categoryOf(found[i].rule), found[i].length, engine.extentsOf(found[i])});
    return files;
}

// Passes a carve's progress reports on and, at a report at least
// kTreeBatchInterval after the previous batch (the first one at once), hands the
// files found since then to `deliver`. Runs on the worker's thread.
class FoundFeed final : public ProgressSink {
public:
    using Deliver = std::function<void(std::size_t first, std::vector<ShownFile> files)>;
    FoundFeed(ProgressSink& inner, const raw::myJpg& engine, Deliver deliver)
        : inner_(inner), engine_(engine), deliver_(std::move(deliver)) {}

    void setStatus(const std::string& text) override { inner_.setStatus(text); }
    void setRange(std::int64_t lower, std::int64_t upper) override { inner_.setRange(lower, upper); }
    void setPosition(std::int64_t position) override {
        inner_.setPosition(position);
        const auto now = std::chrono::steady_clock::now();
        if (engine_.found().size() <= sent_ || (last_ && now - *last_ < RawRecoveryDialog::kTreeBatchInterval))
            return;
        last_ = now;
        deliver_(sent_, shownFrom(engine_, sent_));
        sent_ = engine_.found().size();
    }

private:
    ProgressSink& inner_;
    const raw::myJpg& engine_;
    Deliver deliver_;
    std::size_t sent_ = 0;
    std::optional<std::chrono::steady_clock::time_point> last_;
};

}  // namespace

std::unique_ptr<PageController> makeRawRecoveryPage(CKeswinApp& app, const VolumeRecord& record) {
    return std::make_unique<RawRecoveryDialog>(app, record);
}

RawRecoveryDialog::RawRecoveryDialog(CKeswinApp& app, const VolumeRecord& record)
    : PageController(app, kRawRecoveryPage),
      defaultRulePath(raw::defaultRulePath()),
      volume_(record),
      engine_(std::make_unique<raw::myJpg>()),
      worker_(app.gui(), kRawRecoveryPage),
      preview_(app.gui()) {}

RawRecoveryDialog::~RawRecoveryDialog() {
    preview_.shutdown();
    alive_.reset();
    worker_.shutdown();
}

void RawRecoveryDialog::open() {
    Gui& g = gui();
    g.setWindowTitle(pageId_, kAppTitle);
    g.setVisible(pageId_, texts::kNext, false);
    // The rule file chosen in an earlier run, while it is still there.
    g.setText(pageId_, kRuleFile, fileExists(keptRuleFile) ? keptRuleFile : defaultRulePath);
    g.setChecked(pageId_, kLoadDefault, true);
    g.listClear(pageId_, kList);
    worker_.showControls(false);
    g.setText(pageId_, kStatus, rawtexts::kOpened);
}

bool RawRecoveryDialog::refuseWhileRunning() {
    if (!running_) return false;
    gui().messageBox(texts::kWaitForProcess);
    return true;
}

void RawRecoveryDialog::back() {
    if (refuseWhileRunning()) return;
    PageController::back();
}

void RawRecoveryDialog::command(const std::string& controlId) {
    if (controlId == kBrowseRules) browseRules();
    else if (controlId == kParse) parse();
    else if (controlId == kSetting) setting();
    else if (controlId == kSave) save();
}

void RawRecoveryDialog::browseRules() {
    if (refuseWhileRunning()) return;
    Gui& g = gui();
    const std::string path = g.openFileDialog(raw::texts::kRuleFilter);
    if (!fileExists(path)) return;
    g.setText(pageId_, kRuleFile, path);
    // Read once here, so that a file that is no rule file is told at once and
    // only keeps Parse off until a rule file is chosen.
    std::vector<raw::SignatureRule> rules;
    const raw::LoadResult loaded = raw::loadRuleFile(path, false, rules);
    if (!loaded.ok) {
        if (!loaded.message.empty()) g.messageBox(loaded.message);
        g.setEnabled(pageId_, kParse, false);
        g.setText(pageId_, kStatus, rawtexts::kNotRuleFile);
        return;
    }
    if (onRuleFileTaken) onRuleFileTaken(path);
    if (parsed_) return;
    g.setEnabled(pageId_, kParse, true);
    g.setText(pageId_, kStatus, rawtexts::kRuleFileChosen);
}

void RawRecoveryDialog::setting() {
    if (refuseWhileRunning()) return;
    if (onOpenSettings) onOpenSettings();
}

// Parse ended before any scan: the page stays usable for Back (and Save of
// nothing), Parse stays disabled, and the status says that no scan ran.
void RawRecoveryDialog::endEarly() {
    Gui& g = gui();
    g.setEnabled(pageId_, kBack, true);
    g.setEnabled(pageId_, kSave, true);
    worker_.showControls(false);
    g.setText(pageId_, kStatus, rawtexts::kNoScan);
    running_ = false;
}

void RawRecoveryDialog::parse() {
    if (refuseWhileRunning()) return;
    if (parsed_) return;
    Gui& g = gui();
    parsed_ = true;
    running_ = true;
    worker_.showControls(true);
    for (const char* id : {kSetting, kParse, kLoadDefault, kFreeOnly}) g.setEnabled(pageId_, id, false);
    freeOnly_ = g.isChecked(pageId_, kFreeOnly);

    engine_ = std::make_unique<raw::myJpg>();
    const std::string userPath = g.text(pageId_, kRuleFile);
    const bool withDefault = g.isChecked(pageId_, kLoadDefault);
    if (withDefault && fileExists(defaultRulePath)) {
        const auto loaded = raw::loadRuleFile(defaultRulePath, true, engine_->rules());
        if (!loaded.message.empty()) g.messageBox(loaded.message);
    }
    // The default file named in the field as well is loaded once.
    if (!userPath.empty() && !(withDefault && userPath == defaultRulePath)) {
        const auto loaded = raw::loadRuleFile(userPath, false, engine_->rules());
        if (!loaded.message.empty()) g.messageBox(loaded.message);
        if (!loaded.ok) {
            endEarly();
            return;
        }
    }
    if (engine_->rules().empty()) {
        g.messageBox(rawtexts::kNoRules);
        endEarly();
        return;
    }
    for (const char* id : {kBack, kSave, kBrowseRules, kRuleFile, kSetting}) g.setEnabled(pageId_, id, false);
    if (!app_.currentReader) {
        g.messageBox(rawtexts::kNoReader);
        endEarly();
        return;
    }
    view_ = std::make_unique<VolumeView>(volumeViewOf(*app_.currentReader, volume_));
    if (view_->size() <= 0) {
        g.setEnabled(pageId_, kBrowseRules, true);
        g.setEnabled(pageId_, kRuleFile, true);
        g.messageBox(rawtexts::kZeroSize);
        endEarly();
        return;
    }
    startCarve();
}

void RawRecoveryDialog::startCarve() {
    // The categories show (with no files yet) while the scan runs.
    engine_->buildPatterns();
    rebuildTree();
    raw::myJpg* engine = engine_.get();
    const VolumeView* view = view_.get();
    Gui* g = &gui();
    std::weak_ptr<int> alive = alive_;
    worker_.start(
        [this, engine, view, g, alive](WorkControl& work) {
            work.status(raw::texts::kProcessing);
            ProgressSink& inner = work.sink();
            FoundFeed feed(inner, *engine, [this, g, alive](std::size_t first, std::vector<ShownFile> files) {
                g->post([this, alive, first, files = std::move(files)] {
                    if (!alive.expired()) addFound(first, files);
                });
            });
            work.setSink(&feed);
            try {
                // Free space only: the file system's own map, or no carve at all.
                raw::FreeSpace free;
                if (freeOnly_) free = raw::readFreeSpace(*view, volume_.fsName, work);
                noFreeSpaceMap_ = freeOnly_ && !free.map;
                if (!noFreeSpaceMap_) carved_ = engine->carve(*view, work, free.map);
            } catch (const std::exception&) {
                carved_ = raw::CarveResult::Stopped;
            }
            work.setSink(&inner);
        },
        [this] { endCarve(); });
}

void RawRecoveryDialog::endCarve() {
    Gui& g = gui();
    addRemainingFound();
    if (noFreeSpaceMap_)
        g.messageBox(std::string(raw::texts::kNoFreeSpaceMap) + rawtexts::kClearFreeOnly);
    else
        g.messageBox(carved_ == raw::CarveResult::NotInitialized ? raw::texts::kNotInitialized : raw::texts::kDone);
    g.setEnabled(pageId_, kBack, true);
    g.setEnabled(pageId_, kSave, true);
    std::string status = rawtexts::kWorkerDone;
    if (const std::string warned = fs::warningSummary(engine_->warnings()); !warned.empty()) status += " " + warned;
    g.setText(pageId_, kStatus, status);
    worker_.showControls(false);
    running_ = false;
}

// The categories, without files; called before the worker starts.
void RawRecoveryDialog::rebuildTree() {
    tree_.clear();
    for (const raw::Category& c : engine_->categories()) tree_.push_back({c.name, 0, {}});
    shown_.clear();
    checked_.clear();
    selectedCategory_ = -1;
    gui().listClear(pageId_, kList);
    if (onTreeChanged) onTreeChanged();
}

void RawRecoveryDialog::addFound(std::size_t first, const std::vector<ShownFile>& files) {
    const std::size_t from = shown_.size();
    if (first > from) return;  // a gap: the end of the carve fills it from the engine
    for (std::size_t k = from - first; k < files.size(); ++k) {
        const ShownFile& f = files[k];
        if (f.category >= tree_.size()) break;
        const std::size_t i = shown_.size();
        shown_.push_back(f);
        checked_.push_back(false);
        tree_[f.category].files.push_back(i);
        ++tree_[f.category].count;
        if (static_cast<int>(f.category) == selectedCategory_) gui().listAddRow(pageId_, kList, rowOf(f));
    }
    if (shown_.size() > from && onFilesAdded) onFilesAdded(from);
}

// After the worker was joined: whatever no batch brought yet.
void RawRecoveryDialog::addRemainingFound() { addFound(shown_.size(), shownFrom(*engine_, shown_.size())); }

std::string RawRecoveryDialog::categoryText(const TreeCategory& category) {
    return category.name + " (" + std::to_string(category.count) + ")";
}

// A row of the found list: the file's name and its size.
std::vector<std::string> RawRecoveryDialog::rowOf(const ShownFile& file) { return {file.name, sizeText(file.length)}; }

std::string RawRecoveryDialog::fileName(std::size_t foundIndex) const {
    return foundIndex < shown_.size() ? shown_[foundIndex].name : std::string();
}

std::size_t RawRecoveryDialog::fileCategory(std::size_t foundIndex) const {
    return foundIndex < shown_.size() ? shown_[foundIndex].category : 0;
}

void RawRecoveryDialog::treeSelected(int category, int /*file*/) {
    // Only a category lists files: the top item's children are categories, and a
    // found file has no children.
    gui().listClear(pageId_, kList);
    selectedCategory_ = -1;
    if (category < 0 || static_cast<std::size_t>(category) >= tree_.size()) return;
    selectedCategory_ = category;
    for (const std::size_t i : tree_[static_cast<std::size_t>(category)].files)
        gui().listAddRow(pageId_, kList, rowOf(shown_[i]));
}

void RawRecoveryDialog::setFileChecked(std::size_t foundIndex, bool checked) {
    if (foundIndex < checked_.size()) checked_[foundIndex] = checked;
}

bool RawRecoveryDialog::fileChecked(std::size_t foundIndex) const {
    return foundIndex < checked_.size() && checked_[foundIndex];
}

void RawRecoveryDialog::pause() { worker_.pauseButton(rawtexts::kPausePressed); }

void RawRecoveryDialog::resume() { worker_.resumeButton(rawtexts::kResumePressed); }

void RawRecoveryDialog::stop() {
    if (!worker_.running()) return;
    worker_.requestStop();
    gui().setText(pageId_, kStatus, rawtexts::kStopPressed);
}

void RawRecoveryDialog::shutdown() {
    preview_.shutdown();
    worker_.shutdown();
}

bool RawRecoveryDialog::previewFound(std::size_t foundIndex) {
    if (foundIndex >= shown_.size() || !view_) {
        preview_.cancel();
        return false;
    }
    const ShownFile& f = shown_[foundIndex];
    // The view is only read (stateless reads), so the carve may go on meanwhile.
    preview_.request(
        [view = view_.get(), name = f.name, extents = f.extents](WorkControl& work) {
            return browse::readVolumePrefix(*view, name, extents, work);
        },
        [this](const browse::PreviewBytes& bytes) {
            if (onPreview) onPreview(bytes);
        });
    return true;
}

bool RawRecoveryDialog::previewListRow(int row) {
    if (row < 0 || selectedCategory_ < 0) return previewFound(shown_.size());
    const auto& files = tree_[static_cast<std::size_t>(selectedCategory_)].files;
    return previewFound(static_cast<std::size_t>(row) < files.size() ? files[static_cast<std::size_t>(row)] : shown_.size());
}

void RawRecoveryDialog::save() {
    Gui& g = gui();
    std::vector<std::size_t> ticked;
    for (std::size_t i = 0; i < checked_.size(); ++i)
        if (checked_[i]) ticked.push_back(i);
    if (ticked.empty()) {
        g.messageBox(rawtexts::kNothingTicked);
        return;
    }
    if (refuseWhileRunning()) return;
    // Asked at every Save, so files never land in a folder chosen for an earlier one.
    const std::string out = g.chooseFolderDialog(browse::texts::kChooseFolderTitle);
    lastOutput_ = out;
    if (out.empty()) {
        g.messageBox(browse::texts::kNoOutputFolder);
        return;
    }
    running_ = true;
    g.setEnabled(pageId_, kBack, false);
    g.setEnabled(pageId_, kSave, false);
    g.setProgressRange(pageId_, 0, static_cast<std::int64_t>(ticked.size()));
    g.setProgressPosition(pageId_, 0);
    g.setVisible(pageId_, kProgress, true);
    g.setVisible(pageId_, kStop, true);
    const raw::myJpg* engine = engine_.get();
    const VolumeView* view = view_.get();
    worker_.start(
        [this, engine, view, ticked = std::move(ticked), out](WorkControl& work) {
            try {
                lastSave_ = raw::saveFoundFiles(*view, *engine, ticked, out, work);
            } catch (const std::exception& e) {
                lastSave_ = {};
                lastSave_.error = std::string("Saving failed: ") + e.what();
            }
        },
        [this] { endSave(); });
}

void RawRecoveryDialog::endSave() {
    Gui& g = gui();
    running_ = false;
    worker_.showControls(false);
    g.setEnabled(pageId_, kBack, true);
    g.setEnabled(pageId_, kSave, true);
    if (!lastSave_.error.empty()) {
        g.messageBox(lastSave_.error);
        return;
    }
    offerOutputFolder(g,
                      browse::texts::kWorkDone + ("\n" + browse::texts::carvedCountsText(lastSave_)) +
                          browse::texts::saveProblems(lastSave_),
                      lastOutput_);
}

}  // namespace tavrel::app
