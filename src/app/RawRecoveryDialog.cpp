#include "app/RawRecoveryDialog.h"

#include <sys/stat.h>

#include <exception>

#include "app/CKeswinApp.h"
#include "app/PageFactory.h"
#include "app/PageTexts.h"
#include "app/RawSave.h"
#include "app/RawTexts.h"
#include "browse/SaveTexts.h"
#include "raw/RuleFile.h"
#include "raw/RuleTexts.h"

namespace tavrel::app {

namespace {

bool fileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::unique_ptr<PageController> makeRawRecoveryPage(CKeswinApp& app, const VolumeRecord& record) {
    return std::make_unique<RawRecoveryDialog>(app, record);
}

RawRecoveryDialog::RawRecoveryDialog(CKeswinApp& app, const VolumeRecord& record)
    : PageController(app, kRawRecoveryPage),
      defaultRulePath(raw::defaultRulePath()),
      volume_(record),
      engine_(std::make_unique<raw::myJpg>()),
      worker_(app.gui(), kRawRecoveryPage) {}

RawRecoveryDialog::~RawRecoveryDialog() { worker_.shutdown(); }

void RawRecoveryDialog::open() {
    Gui& g = gui();
    g.setWindowTitle(pageId_, kAppTitle);
    g.setVisible(pageId_, texts::kNext, false);
    g.setText(pageId_, kRuleFile, defaultRulePath);
    g.setChecked(pageId_, kLoadDefault, true);
    g.listClear(pageId_, kList);
    setWorkControlsVisible(false);
    g.setText(pageId_, kStatus, rawtexts::kOpened);
}

void RawRecoveryDialog::setWorkControlsVisible(bool visible) {
    for (const char* id : {kProgress, kPause, kResume, kStop}) gui().setVisible(pageId_, id, visible);
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
    const std::string path = gui().openFileDialog(raw::texts::kRuleFilter);
    if (fileExists(path)) gui().setText(pageId_, kRuleFile, path);
}

void RawRecoveryDialog::setting() {
    if (refuseWhileRunning()) return;
    if (onOpenSettings) onOpenSettings();
}

// Parse ended before any scan: the page stays usable for Back (and Save of
// nothing), and Parse stays disabled.
void RawRecoveryDialog::endEarly() {
    Gui& g = gui();
    g.setEnabled(pageId_, kBack, true);
    g.setEnabled(pageId_, kSave, true);
    setWorkControlsVisible(false);
    g.setText(pageId_, kStatus, rawtexts::kDone);
    running_ = false;
}

void RawRecoveryDialog::parse() {
    if (refuseWhileRunning()) return;
    if (parsed_) return;
    Gui& g = gui();
    parsed_ = true;
    running_ = true;
    setWorkControlsVisible(true);
    for (const char* id : {kSetting, kParse, kLoadDefault}) g.setEnabled(pageId_, id, false);

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
    view_ = std::make_unique<VolumeView>(*app_.currentReader, volume_.startSector, volume_.sectorCount);
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
    worker_.start(
        [this, engine, view](WorkControl& work) {
            work.status(raw::texts::kProcessing);
            try {
                carved_ = engine->carve(*view, work);
            } catch (const std::exception&) {
                carved_ = raw::CarveResult::Stopped;
            }
        },
        [this] { endCarve(); });
}

void RawRecoveryDialog::endCarve() {
    Gui& g = gui();
    rebuildTree();
    g.messageBox(carved_ == raw::CarveResult::NotInitialized ? raw::texts::kNotInitialized : raw::texts::kDone);
    g.setEnabled(pageId_, kBack, true);
    g.setEnabled(pageId_, kSave, true);
    std::string status = rawtexts::kWorkerDone;
    if (const std::string warned = fs::warningSummary(engine_->warnings()); !warned.empty()) status += " " + warned;
    g.setText(pageId_, kStatus, status);
    setWorkControlsVisible(false);
    running_ = false;
}

void RawRecoveryDialog::rebuildTree() {
    tree_.clear();
    for (const raw::Category& c : engine_->categories()) tree_.push_back({c.name, c.count, {}});
    const auto& found = engine_->found();
    for (std::size_t i = 0; i < found.size(); ++i) tree_[engine_->categoryOf(found[i].rule)].files.push_back(i);
    checked_.assign(found.size(), false);
    gui().listClear(pageId_, kList);
    if (onTreeChanged) onTreeChanged();
}

std::string RawRecoveryDialog::categoryText(const TreeCategory& category) {
    return category.name + " (" + std::to_string(category.count) + ")";
}

std::string RawRecoveryDialog::fileName(std::size_t foundIndex) const {
    return foundIndex < engine_->found().size() ? engine_->nameOf(engine_->found()[foundIndex]) : std::string();
}

void RawRecoveryDialog::treeSelected(int category, int /*file*/) {
    // Only a category lists files: the top item's children are categories, and a
    // found file has no children.
    gui().listClear(pageId_, kList);
    if (category < 0 || static_cast<std::size_t>(category) >= tree_.size()) return;
    for (const std::size_t i : tree_[static_cast<std::size_t>(category)].files)
        gui().listAddRow(pageId_, kList, {fileName(i)});
}

void RawRecoveryDialog::setFileChecked(std::size_t foundIndex, bool checked) {
    if (foundIndex < checked_.size()) checked_[foundIndex] = checked;
}

bool RawRecoveryDialog::fileChecked(std::size_t foundIndex) const {
    return foundIndex < checked_.size() && checked_[foundIndex];
}

void RawRecoveryDialog::pause() {
    if (!worker_.running()) return;
    worker_.pause();
    gui().setText(pageId_, kStatus, rawtexts::kPausePressed);
}

void RawRecoveryDialog::resume() {
    if (!worker_.running()) return;
    worker_.resume();
    gui().setText(pageId_, kStatus, rawtexts::kResumePressed);
}

void RawRecoveryDialog::stop() {
    if (!worker_.running()) return;
    worker_.requestStop();
    gui().setText(pageId_, kStatus, rawtexts::kStopPressed);
}

void RawRecoveryDialog::shutdown() { worker_.shutdown(); }

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
                lastSave_ = saveFoundFiles(*view, *engine, ticked, out, work);
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
    setWorkControlsVisible(false);
    g.setEnabled(pageId_, kBack, true);
    g.setEnabled(pageId_, kSave, true);
    if (!lastSave_.error.empty()) {
        g.messageBox(lastSave_.error);
        return;
    }
    std::string text = browse::texts::kWorkDone;
    if (lastSave_.stopped) text += "\nSaving was stopped before every file was written.";
    if (lastSave_.failed > 0) {
        text += "\n" + std::to_string(lastSave_.failed) + " file(s) could not be saved completely:";
        int shown = 0;
        for (const auto& note : lastSave_.notes) {
            if (note.result != browse::FileOutcome::Result::Failed) continue;
            if (++shown > 5) {
                text += "\n...";
                break;
            }
            text += "\n" + note.imagePath + ": " + note.note;
        }
    }
    g.messageBox(text);
}

}  // namespace tavrel::app
