#include "app/advanceOptions.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "app/CKeswinApp.h"
#include "app/PageFactory.h"
#include "app/PageTexts.h"
#include "app/VolumeScanDlg.h"
#include "fs/factory/FsKinds.h"
#include "fs/factory/ParserFactory.h"
#include "util/Unicode.h"

namespace tavrel::app {

using namespace texts;

namespace {

std::string formatted(const char* pattern, std::size_t value) {
    char buf[256];
    std::snprintf(buf, sizeof buf, pattern, static_cast<int>(value));
    return buf;
}

}  // namespace

std::unique_ptr<PageController> makeAdvancedOptionsPage(CKeswinApp& app, const VolumeRecord& record,
                                                        int maxFileSystems, bool driveFormatted) {
    return std::make_unique<advanceOptions>(app, record, maxFileSystems, driveFormatted);
}

advanceOptions::advanceOptions(CKeswinApp& app, const VolumeRecord& record, int maxFileSystems, bool driveFormatted)
    : PageController(app, kAdvancedOptionsPage),
      volume_(record),
      maxFileSystems_(fs::huntMaximum(maxFileSystems)),
      driveFormatted_(driveFormatted),
      worker_(app.gui(), kAdvancedOptionsPage) {}

advanceOptions::~advanceOptions() { worker_.shutdown(); }

void advanceOptions::open() {
    Gui& g = gui();
    g.setWindowTitle(pageId_, kAppTitle);
    g.setText(pageId_, "title", advancedtexts::kTitle);
    g.setEnabled(pageId_, kNext, false);
    g.setEnabled(pageId_, kBack, false);
    for (const char* id : {kClusterLabel, kClusters, kHeapLabel, kHeap}) g.setVisible(pageId_, id, false);

    if (!app_.currentReader) {
        g.messageBox(advancedtexts::kNoReader);
        g.setEnabled(pageId_, kBack, true);  // a page with no way out would be a dead end
        worker_.showControls(false);
        return;
    }
    const std::string kind(trim(volume_.fsName));
    if (const fs::FsKindRow* row = fs::findKind(kind); row && row->selectedStatus)
        g.setText(pageId_, kStatus, row->selectedStatus);
    view_ = std::make_unique<VolumeView>(volumeViewOf(*app_.currentReader, volume_));
    fs::ScanOptions options;
    options.mode = fs::RecoveryMode::Advanced;
    options.maxFileSystems = maxFileSystems_;
    options.driveFormatted = driveFormatted_;
    parser_ = fs::makeParser(kind, *view_, options);
    hunter_ = parser_ ? fs::hunterOf(*parser_) : nullptr;
    if (!hunter_) {
        // The recovery mode page lets only the kinds that hunt come here.
        g.setEnabled(pageId_, kBack, true);
        worker_.showControls(false);
        return;
    }
    g.setVisible(pageId_, kClusterLabel, true);
    g.setVisible(pageId_, kClusters, true);
    if (const char* label = hunter_->candidateLabel()) g.setText(pageId_, kCandidateLabel, label);
    if (hunter_->heapItemPattern()) {
        g.setVisible(pageId_, kHeapLabel, true);
        g.setVisible(pageId_, kHeap, true);
    }
    startHunt();
}

void advanceOptions::startHunt() {
    worker_.showControls(true);
    fs::StructureHunter* hunter = hunter_;
    const int maximum = maxFileSystems_;
    worker_.start([hunter, maximum](WorkControl& work) { hunter->huntCopies(work, maximum); },
                  [this] { endHunt(); });
}

// The combos are filled only here, on the interface thread, after the worker
// has been joined.
void advanceOptions::endHunt() {
    Gui& g = gui();
    const std::size_t count = hunter_->candidates().size();
    candidateItems_.clear();
    for (std::size_t i = 0; i < count; ++i) candidateItems_.push_back(formatted(hunter_->candidateItemPattern(), i));
    clusterItems_ = hunter_->clusterItems();
    heapItems_.clear();
    if (const char* pattern = hunter_->heapItemPattern())
        for (std::size_t i = 0; i < hunter_->heapCandidates().size(); ++i) heapItems_.push_back(formatted(pattern, i));
    g.comboSetItems(pageId_, kCandidates, candidateItems_);
    g.comboSetItems(pageId_, kClusters, clusterItems_);
    if (!candidateItems_.empty()) g.setText(pageId_, kCandidates, candidateItems_.front());
    // The size the hunt learnt is preselected; the first item otherwise.
    const std::string learnt = hunter_->preselectedClusterItem();
    if (std::find(clusterItems_.begin(), clusterItems_.end(), learnt) != clusterItems_.end())
        g.setText(pageId_, kClusters, learnt);
    else if (!clusterItems_.empty())
        g.setText(pageId_, kClusters, clusterItems_.front());
    if (hunter_->heapItemPattern()) {
        g.comboSetItems(pageId_, kHeap, heapItems_);
        if (!heapItems_.empty()) g.setText(pageId_, kHeap, heapItems_.front());
    }
    g.setEnabled(pageId_, kBack, true);
    g.setEnabled(pageId_, kNext, true);
    g.messageBox(hunter_->foundMessage(), Buttons::Ok, Icon::Information);
    worker_.showControls(false);
    g.setText(pageId_, kStatus, hunter_->huntDoneStatus());
}

std::string advanceOptions::selected(const char* combo) const { return app_.gui().text(pageId_, combo); }

void advanceOptions::next() {
    if (worker_.running()) {
        gui().messageBox(kWaitForProcess);
        return;
    }
    const auto candidate = std::find(candidateItems_.begin(), candidateItems_.end(), selected(kCandidates));
    // exFAT needs a heap offset as well as a FAT.
    const bool noHeap = hunter_ && hunter_->heapItemPattern() && heapItems_.empty();
    if (candidate == candidateItems_.end() || noHeap) {
        gui().messageBox(advancedtexts::kNoEntry, Buttons::Ok, Icon::Information);
        return;
    }
    const std::string clusterText = selected(kClusters);
    int sectorsPerCluster = 0;
    if (std::from_chars(clusterText.data(), clusterText.data() + clusterText.size(), sectorsPerCluster).ec != std::errc{})
        return;
    const auto index = static_cast<std::size_t>(candidate - candidateItems_.begin());
    fs::CandidateChoice choice;
    choice.sectorsPerCluster = hunter_->sectorsPerClusterOfItem(sectorsPerCluster);
    // The heap list is chosen on its own (exFAT).
    const auto heap = std::find(heapItems_.begin(), heapItems_.end(), selected(kHeap));
    if (heap != heapItems_.end()) choice.heapIndex = static_cast<int>(heap - heapItems_.begin());

    // The scan page makes a parser of the same kind and hands it what this
    // page's hunt found, so that it parses from the chosen copy.
    auto page = std::make_unique<VolumeScanDlg>(app_, volume_, 2, maxFileSystems_, driveFormatted_);
    page->setParserMaker([found = hunter_->candidates(), heaps = hunter_->heapCandidates(), index, choice](
                             const std::string& kind, const VolumeView& view, const fs::ScanOptions& options) {
        auto parser = fs::makeParser(kind, view, options);
        if (fs::StructureHunter* hunter = parser ? fs::hunterOf(*parser) : nullptr) {
            hunter->setCandidates(found);
            hunter->setHeapCandidates(heaps);
            hunter->useCandidate(index, choice);
        }
        return parser;
    });
    app_.forward(std::move(page));
}

void advanceOptions::command(const std::string& controlId) {
    if (controlId == kPause) pause();
    else if (controlId == kResume) resume();
}

void advanceOptions::pause() { worker_.pauseButton(advancedtexts::kPausePressed); }

void advanceOptions::resume() { worker_.resumeButton(advancedtexts::kResumePressed); }

// The hunt ends after the chunk it is in; the combos then show what it found.
void advanceOptions::stop() {
    if (!parser_) return;
    worker_.resume();
    worker_.requestStop();
    gui().setText(pageId_, kStatus, advancedtexts::kStopPressed);
    gui().setEnabled(pageId_, kBack, true);
    gui().setEnabled(pageId_, kNext, true);
}

void advanceOptions::exitApp() {
    if (parser_) {
        worker_.requestStop();
        gui().setText(pageId_, kStatus, advancedtexts::kAllStopped);
    }
    PageController::exitApp();
}

void advanceOptions::shutdown() { worker_.shutdown(); }

}  // namespace tavrel::app
