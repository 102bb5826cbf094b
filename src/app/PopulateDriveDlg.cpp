#include "app/PopulateDriveDlg.h"

#include <algorithm>

#include "app/CKeswinApp.h"
#include "app/GuiProgressSink.h"
#include "app/PageFactory.h"
#include "app/PageTexts.h"
#include "app/SectorText.h"
#include "app/VolumeFilter.h"
#include "fs/factory/FsKinds.h"
#include "util/Unicode.h"
#include "volume/Partition.h"

namespace tavrel::app {

using namespace texts;

namespace {

// Controls that follow "Custom Settings For Selected Volume ".
constexpr const char* kCustomControls[] = {
    PopulateDriveDlg::kSelectedLabel, PopulateDriveDlg::kSelectedValue, PopulateDriveDlg::kStartLabel,
    PopulateDriveDlg::kStartSector,   PopulateDriveDlg::kStartUp,       PopulateDriveDlg::kStartDown,
    PopulateDriveDlg::kEndLabel,      PopulateDriveDlg::kEndSector,     PopulateDriveDlg::kEndUp,
    PopulateDriveDlg::kEndDown,       PopulateDriveDlg::kTreatLabel,    PopulateDriveDlg::kTreatAs};

std::vector<std::string> cellsOf(const VolumeRecord& record) {
    // A logical volume shows its "vg/lv" name after its number.
    const std::string volume = record.name.empty() ? record.volumeName : record.volumeName + " " + record.name;
    return {volume, record.fsName, record.sizeMiBText, std::to_string(record.startSector)};
}

}  // namespace

const std::vector<std::string>& PopulateDriveDlg::treatEntries() {
    static const std::vector<std::string> entries = fs::treatAsEntries();
    return entries;
}

std::string PopulateDriveDlg::notReadableYet(const std::string& kindName) {
    return "Tavrel cannot read " + kindName + " volumes yet. It reads " + fs::workingKindNames() + " volumes.";
}

PopulateDriveDlg::PopulateDriveDlg(CKeswinApp& app, VolumeScanOptions options)
    : PageController(app, kVolumeListPage),
      options_(std::move(options)),
      worker_(app.gui(), kVolumeListPage),
      alive_(std::make_shared<int>(0)) {}

PopulateDriveDlg::~PopulateDriveDlg() { shutdown(); }

std::unique_ptr<PageController> makeVolumeListPage(CKeswinApp& app, const VolumeScanOptions& options) {
    return std::make_unique<PopulateDriveDlg>(app, options);
}

void PopulateDriveDlg::open() {
    gui().setWindowTitle(pageId_, kAppTitle);
    gui().comboSetItems(pageId_, kTreatAs, treatEntries());
    gui().setEnabled(pageId_, kFilter, false);
    gui().setEnabled(pageId_, kCustomCheck, false);
    gui().setChecked(pageId_, kCustomCheck, false);
    customSettings();
    if (options_.scanMode == 1) {
        gui().setProgressRange(pageId_, 0, 1000);
        standardScan();
        gui().setProgressPosition(pageId_, 1000);
    } else {
        advancedScan();
    }
}

void PopulateDriveDlg::standardScan() {
    gui().setVisible(pageId_, kAddCustom, false);
    if (app_.imageMarker != kImageSelectionPage) {
        gui().messageBox(kNoReader);
        return;
    }
    if (!app_.installReader()) {
        gui().messageBox(kNotOpened);
    } else {
        GuiProgressSink sink(gui(), pageId_);
        WorkControl work(&sink);
        records_ = Partition(*app_.currentReader, fs::fsProbes()).standardScan(options_.gpt, work);
        // Rows are numbered in record order.
        for (std::size_t i = 0; i < records_.size(); ++i) records_[i].volumeName = std::to_string(i);
        rows_ = records_;
        listRows();
        if (!records_.empty()) gui().setEnabled(pageId_, kCustomCheck, true);
    }
    gui().setEnabled(pageId_, kFilter, true);
    gui().setText(pageId_, kStatus, kFinished);
    gui().setVisible(pageId_, kProgress, false);
    gui().setVisible(pageId_, kStop, false);
    gui().setText(pageId_, kStatus, kSelectAndNext);
}

void PopulateDriveDlg::advancedScan() {
    gui().setVisible(pageId_, kAddCustom, true);
    gui().setEnabled(pageId_, kAddCustom, false);
    gui().setEnabled(pageId_, kNext, false);
    if (app_.imageMarker != kImageSelectionPage || !app_.installReader()) {
        gui().setEnabled(pageId_, kNext, true);
        gui().messageBox(kNotOpened);
        return;
    }
    records_.clear();
    rows_.clear();
    listRows();
    gui().setEnabled(pageId_, kBack, false);
    gui().setVisible(pageId_, kProgress, true);
    gui().setVisible(pageId_, kStop, true);

    const readWriteInterface* reader = app_.currentReader.get();
    const std::int64_t start = options_.customRange ? options_.customStart : -1;
    const std::int64_t end = options_.customRange ? options_.customEnd : -1;
    const bool noSkip = options_.noSkip;
    std::weak_ptr<int> alive = alive_;
    Gui& ui = gui();
    worker_.start(
        [this, reader, start, end, noSkip, alive, &ui](WorkControl& work) {
            // Each volume is listed as soon as it is found, on the interface thread.
            auto onFound = [this, alive, &ui](const VolumeRecord& record) {
                ui.post([this, alive, record] {
                    if (alive.expired()) return;
                    records_.push_back(record);
                    rows_.insert(rows_.begin(), record);
                    listRows();
                });
            };
            Partition(*reader, fs::fsProbes()).advancedScan(work, noSkip, start, end, onFound);
        },
        [this] { finishAdvancedScan(); });
}

void PopulateDriveDlg::finishAdvancedScan() {
    gui().setEnabled(pageId_, kBack, true);
    // A stopped scan says so, and its last status stays beside the selection hint.
    const bool stopped = worker_.control().stopRequested();
    gui().setText(pageId_, kStatus, stopped ? kScanStopped : kScanned);
    gui().setVisible(pageId_, kProgress, false);
    gui().setVisible(pageId_, kStop, false);
    gui().messageBox(stopped ? kScanStopped : kPopulated);
    if (!stopped) gui().setText(pageId_, kStatus, kFinished);
    if (!records_.empty()) gui().setEnabled(pageId_, kCustomCheck, true);
    gui().setEnabled(pageId_, kAddCustom, true);
    gui().setEnabled(pageId_, kNext, true);
    gui().setEnabled(pageId_, kFilter, true);
    gui().setText(pageId_, kStatus, stopped ? std::string(kScanStopped) + " " + kSelectAndNext : kSelectAndNext);
}

void PopulateDriveDlg::listRows() {
    gui().listClear(pageId_, kVolumeList);
    for (const VolumeRecord& record : rows_) gui().listAddRow(pageId_, kVolumeList, cellsOf(record));
}

void PopulateDriveDlg::command(const std::string& controlId) {
    if (controlId == kVolumeList) {
        selectionChanged();
    } else if (controlId == kVolumeListClick) {
        rowClicked();
    } else if (controlId == kCustomCheck) {
        customSettings();
    } else if (controlId == kAddCustom) {
        addCustomVolume();
    } else if (controlId == kFilter) {
        filterEntries();
    } else if (controlId == kStartUp) {
        spin(kStartSector, 1);
    } else if (controlId == kStartDown) {
        spin(kStartSector, -1);
    } else if (controlId == kEndUp) {
        spin(kEndSector, 1);
    } else if (controlId == kEndDown) {
        spin(kEndSector, -1);
    }
}

void PopulateDriveDlg::selectionChanged() {
    const int row = gui().listSelectedRow(pageId_, kVolumeList);
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    const VolumeRecord& record = rows_[static_cast<std::size_t>(row)];
    gui().setText(pageId_, kSelectedValue, record.volumeName);
    gui().setText(pageId_, kStartSector, std::to_string(record.startSector));
    // The end follows from the size column's whole MiB.
    const std::int64_t mib = leadingMiB(record.sizeMiBText);
    const std::int64_t sectors = mib > 0 && mib < INT64_MAX / 4096 ? mib * 2048 : 0;
    const std::int64_t endSector = sectors > 0 ? record.startSector + sectors - 1 : 0;
    gui().setText(pageId_, kEndSector, std::to_string(endSector));
}

void PopulateDriveDlg::rowClicked() {
    const int row = gui().listSelectedRow(pageId_, kVolumeList);
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    const std::string& fsName = rows_[static_cast<std::size_t>(row)].fsName;
    if (fsName.empty()) return;
    for (const std::string& entry : treatEntries()) {
        if (startsWithIgnoreCase(entry, fsName)) {
            gui().setText(pageId_, kTreatAs, entry);
            return;
        }
    }
}

void PopulateDriveDlg::customSettings() {
    const bool on = gui().isChecked(pageId_, kCustomCheck);
    for (const char* id : kCustomControls) gui().setEnabled(pageId_, id, on);
}

void PopulateDriveDlg::spin(const char* field, int step) {
    const std::int64_t value = parseSectorText(gui().text(pageId_, field));
    if (step > 0 && value < INT64_MAX) {
        gui().setText(pageId_, field, std::to_string(value + 1));
    } else if (step < 0 && value > 0) {
        gui().setText(pageId_, field, std::to_string(value - 1));
    }
}

void PopulateDriveDlg::addCustomVolume() {
    if (worker_.running()) return;
    VolumeRecord record;
    record.fsName = "CUSTOM ";
    record.volumeName = std::to_string(records_.size());
    record.sizeMiBText = "0";
    record.startSector = 0;
    records_.push_back(record);
    gui().setEnabled(pageId_, kCustomCheck, true);
    gui().setChecked(pageId_, kCustomCheck, true);
    customSettings();
    // Standard mode lists it last, advanced mode first (where new finds appear).
    const bool atTop = options_.scanMode != 1;
    if (atTop) {
        rows_.insert(rows_.begin(), record);
    } else {
        rows_.push_back(record);
    }
    listRows();
    const int row = atTop ? 0 : static_cast<int>(rows_.size()) - 1;
    gui().listSelectRow(pageId_, kVolumeList, row);
    gui().setText(pageId_, kSelectedValue, record.volumeName);
    gui().setText(pageId_, kStartSector, "0");
    gui().setText(pageId_, kEndSector, "0");
}

void PopulateDriveDlg::filterEntries() {
    if (worker_.running()) return;
    rows_ = filterVolumes(records_);
    listRows();
}

VolumeRecord PopulateDriveDlg::chosenRecord() {
    const int row = gui().listSelectedRow(pageId_, kVolumeList);
    VolumeRecord record = rows_.at(static_cast<std::size_t>(row));
    if (!gui().isChecked(pageId_, kCustomCheck)) return record;

    const std::int64_t start = parseSectorText(gui().text(pageId_, kStartSector));
    const std::int64_t end = parseSectorText(gui().text(pageId_, kEndSector));
    // Custom sectors are one run of the disk, whatever the row was.
    record.runs.clear();
    record.name.clear();
    record.note.clear();
    record.startSector = start;
    record.sizeMiBText = std::to_string(end > start ? (end - start + 1) / 2048 : 0);
    record.sectorCount = end >= start ? end - start + 1 : -1;
    if (const fs::FsKindRow* row = fs::findKind(gui().text(pageId_, kTreatAs))) record.fsName = row->treatAsFsName;
    return record;
}

void PopulateDriveDlg::next() {
    if (worker_.running()) {
        gui().messageBox(kWaitForProcess);
        return;
    }
    const int row = gui().listSelectedRow(pageId_, kVolumeList);
    if (row < 0 || row >= static_cast<int>(rows_.size())) {
        gui().messageBox(kNoSelection);
        return;
    }
    // Next hands on a copy: the row keeps what it shows, so going back and on
    // again without custom settings hands on the listed volume unchanged.
    const VolumeRecord record = chosenRecord();
    if (gui().isChecked(pageId_, kCustomCheck) && fs::isRawKind(record.fsName)) {
        app_.forward(makeRawRecoveryPage(app_, record));
        return;
    }
    // An LVM2 volume that cannot be read says why; one that can shows its note.
    if (!record.note.empty()) gui().messageBox(record.note);
    if (isRefusedVolume(record)) return;
    if (equalsIgnoreCase(record.fsName, "unknown")) {
        gui().messageBox(kUnknownVolume);
        return;
    }
    // A kind whose parser is not here yet would end on a page with nothing to do.
    const fs::FsKindRow* kind = fs::findKind(record.fsName);
    if (kind && !kind->make && kind->kind != fs::FsKind::Raw) {
        gui().messageBox(notReadableYet(kind->listName));
        return;
    }
    app_.forward(makeRecoveryModePage(app_, record));
}

void PopulateDriveDlg::back() {
    shutdown();
    PageController::back();
}

void PopulateDriveDlg::stop() {
    if (!worker_.running()) return;
    worker_.requestStop();
    gui().setEnabled(pageId_, kBack, true);
}

void PopulateDriveDlg::shutdown() {
    alive_.reset();
    worker_.shutdown();
}

}  // namespace tavrel::app
