// Scan mode page (152): how volumes are to be found, and the disk image export.
#pragma once

#include <memory>
#include <string>

#include "app/PageController.h"
#include "app/PageWorker.h"
#include "app/VolumeScanOptions.h"

namespace tavrel::app {

class DriveParsingModes : public PageController {
public:
    // Control ids.
    static constexpr const char* kSaveImageCheck = "saveImageCheck";  // "Save Disk Image:"
    static constexpr const char* kOutputPath = "outputPath";
    static constexpr const char* kSaveImage = "saveImage";            // "Save Disk Image"
    static constexpr const char* kSelectedDrive = "selectedDrive";
    static constexpr const char* kStandardScan = "standardScan";
    static constexpr const char* kAdvanceScan = "advanceScan";
    static constexpr const char* kGpt = "gpt";
    static constexpr const char* kNoSkip = "noSkip";
    static constexpr const char* kCustomSetting = "customSetting";
    static constexpr const char* kStartLabel = "startLabel";
    static constexpr const char* kStartSector = "startSector";
    static constexpr const char* kEndLabel = "endLabel";
    static constexpr const char* kEndSector = "endSector";

    static constexpr const char* kChooseMode = "Choose any one of the mode and Click Next....";
    static constexpr const char* kSpaceNotice =
        "Make sure you have sufficient disk space at saving location of Image File";
    static constexpr const char* kFolderTitle = "Please choose a folder.";
    static constexpr const char* kNoReader = "Information lost, please click Back button and parse again";
    static constexpr const char* kCannotCreateVolumeList = "error creating PopulateDriveDlgptr";

    explicit DriveParsingModes(CKeswinApp& app);
    ~DriveParsingModes() override;

    void open() override;
    void next() override;
    void back() override;
    void command(const std::string& controlId) override;
    void stop() override;
    void shutdown() override;

    bool exporting() const { return worker_.running(); }
    // What Next hands on, from the page's current state.
    VolumeScanOptions scanOptions();

private:
    void standardScan();
    void advanceScan();
    void customSetting();
    void saveImage();
    void setExportControls(bool idle);
    void finishExport();

    std::string imagePath_;
    std::string outputPath_;
    PageWorker worker_;
    std::string exportMessage_;  // set by the worker, shown by the finish
    bool exportFailed_ = false;  // set by the worker: the export failed (not stopped)
};

std::unique_ptr<PageController> makeScanModePage(CKeswinApp& app);

}  // namespace tavrel::app
