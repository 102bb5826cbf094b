#include "app/DriveParsingModes.h"

#include "app/CKeswinApp.h"
#include "app/PageTexts.h"
#include "app/PopulateDriveDlg.h"
#include "app/SectorText.h"
#include "image/ImageOpener.h"
#include "volume/DiskExport.h"
#include "volume/Partition.h"

namespace tavrel::app {

using namespace texts;

DriveParsingModes::DriveParsingModes(CKeswinApp& app) : PageController(app, kScanModePage), worker_(app.gui(), kScanModePage) {}

DriveParsingModes::~DriveParsingModes() { shutdown(); }

std::unique_ptr<PageController> makeScanModePage(CKeswinApp& app) { return std::make_unique<DriveParsingModes>(app); }

void DriveParsingModes::open() {
    gui().setWindowTitle(pageId_, kAppTitle);
    gui().setVisible(pageId_, kProgress, false);
    gui().setVisible(pageId_, kStop, false);
    gui().setChecked(pageId_, kSaveImageCheck, false);
    gui().setEnabled(pageId_, kSaveImage, false);
    for (const char* id : {kStartLabel, kStartSector, kEndLabel, kEndSector}) gui().setEnabled(pageId_, id, false);
    gui().setText(pageId_, kStartSector, "0");
    gui().setText(pageId_, kEndSector, "0");
    imagePath_ = app_.imagePath;
    gui().setText(pageId_, kSelectedDrive, imagePath_);
    gui().setText(pageId_, kStatus, kChooseMode);

    // A disk with a GPT header behind its protective MBR is almost always meant to
    // be read through the GPT: tick the option for the user.
    const OpenedImage probe = openImage(imagePath_);
    gui().setChecked(pageId_, kGpt, probe && hasGptHeader(*probe.reader));
    standardScan();
}

void DriveParsingModes::command(const std::string& controlId) {
    if (controlId == kStandardScan) {
        standardScan();
    } else if (controlId == kAdvanceScan) {
        advanceScan();
    } else if (controlId == kCustomSetting) {
        customSetting();
    } else if (controlId == kSaveImageCheck) {
        gui().setEnabled(pageId_, kSaveImage, gui().isChecked(pageId_, kSaveImageCheck));
    } else if (controlId == kSaveImage) {
        saveImage();
    }
}

void DriveParsingModes::standardScan() {
    gui().setChecked(pageId_, kStandardScan, true);
    gui().setChecked(pageId_, kAdvanceScan, false);
    for (const char* id : {kNoSkip, kCustomSetting, kStartLabel, kStartSector, kEndLabel, kEndSector})
        gui().setEnabled(pageId_, id, false);
}

void DriveParsingModes::advanceScan() {
    gui().setChecked(pageId_, kAdvanceScan, true);
    gui().setChecked(pageId_, kStandardScan, false);
    gui().setEnabled(pageId_, kNoSkip, true);
    gui().setEnabled(pageId_, kCustomSetting, true);
    // A range ticked before switching to the standard scan comes back with it.
    customSetting();
}

void DriveParsingModes::customSetting() {
    const bool on = gui().isChecked(pageId_, kCustomSetting);
    for (const char* id : {kStartLabel, kStartSector, kEndLabel, kEndSector}) gui().setEnabled(pageId_, id, on);
}

VolumeScanOptions DriveParsingModes::scanOptions() {
    VolumeScanOptions options;
    options.imagePath = imagePath_;
    options.scanMode = gui().isChecked(pageId_, kStandardScan) ? 1 : 2;
    options.gpt = gui().isChecked(pageId_, kGpt);
    options.noSkip = gui().isChecked(pageId_, kNoSkip);
    if (gui().isChecked(pageId_, kCustomSetting)) {
        const std::int64_t start = parseSectorText(gui().text(pageId_, kStartSector));
        const std::int64_t end = parseSectorText(gui().text(pageId_, kEndSector));
        if (end >= 0) {
            options.customRange = true;
            options.customStart = start;
            options.customEnd = end;
        }
    }
    return options;
}

void DriveParsingModes::next() {
    if (worker_.running()) {
        gui().messageBox(kWaitForProcess);
        return;
    }
    auto page = makeVolumeListPage(app_, scanOptions());
    if (!page) {
        gui().messageBox(kCannotCreateVolumeList);
        return;
    }
    app_.forward(std::move(page));
}

void DriveParsingModes::back() {
    if (worker_.running()) {
        gui().messageBox(kWaitForProcess);
        return;
    }
    PageController::back();
}

void DriveParsingModes::saveImage() {
    if (worker_.running()) return;
    gui().messageBox(kSpaceNotice);
    const std::string folder = gui().chooseFolderDialog(kFolderTitle);
    if (folder.empty()) return;
    outputPath_ = DiskExport::outputPathFor(imagePath_, folder);
    gui().setText(pageId_, kOutputPath, outputPath_);

    // The export reads through a fresh reader of its own.
    if (app_.imageMarker == kImageSelectionPage) app_.installReader();
    if (!app_.currentReader) {
        gui().messageBox(kNoReader);
        return;
    }
    setExportControls(false);
    const readWriteInterface* reader = app_.currentReader.get();
    exportMessage_.clear();
    worker_.start(
        [this, reader, output = outputPath_](WorkControl& work) {
            const ExportOutcome outcome = DiskExport{}.run(*reader, output, work);
            exportMessage_ = outcome.message;
            exportFailed_ = !outcome.ok() && outcome.kind != ExportOutcome::Kind::Stopped;
        },
        [this] { finishExport(); });
}

void DriveParsingModes::finishExport() {
    app_.currentReader.reset();
    app_.totalSectors = 0;
    setExportControls(true);
    // A failed export never leaves a status line that claims success.
    if (exportFailed_ && !exportMessage_.empty())
        gui().setText(pageId_, kStatus, exportMessage_.substr(0, exportMessage_.find('\n')));
    if (!exportMessage_.empty()) gui().messageBox(exportMessage_);
}

void DriveParsingModes::setExportControls(bool idle) {
    for (const char* id : {kNext, kBack, kSaveImage, kSaveImageCheck}) gui().setEnabled(pageId_, id, idle);
    if (idle) gui().setEnabled(pageId_, kSaveImage, gui().isChecked(pageId_, kSaveImageCheck));
    gui().setVisible(pageId_, kProgress, !idle);
    gui().setVisible(pageId_, kStop, !idle);
}

void DriveParsingModes::stop() {
    if (!worker_.running()) return;
    if (gui().messageBox(DiskExport::kStopQuestion, Buttons::YesNo, Icon::Question) == Answer::Yes)
        worker_.requestStop();
}

void DriveParsingModes::shutdown() {
    const bool wasExporting = worker_.running();
    worker_.shutdown();
    if (wasExporting) {
        // The export's reader dies with the export.
        app_.currentReader.reset();
        app_.totalSectors = 0;
    }
}

}  // namespace tavrel::app
