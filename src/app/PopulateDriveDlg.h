// Volume list page (134): runs the chosen volume scan, lists the volumes, lets the
// user filter the list, add a volume by hand or override one's sectors and file
// system, and hands the chosen volume on.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/PageController.h"
#include "app/PageWorker.h"
#include "app/VolumeScanOptions.h"
#include "volume/VolumeRecord.h"

namespace tavrel::app {

class PopulateDriveDlg : public PageController {
public:
    // Control ids.
    static constexpr const char* kVolumeList = "volumeList";            // selection changed
    static constexpr const char* kVolumeListClick = "volumeListClick";  // a row was clicked
    static constexpr const char* kFilter = "filter";
    static constexpr const char* kAddCustom = "addCustom";
    static constexpr const char* kCustomCheck = "customCheck";
    static constexpr const char* kSelectedLabel = "selectedLabel";
    static constexpr const char* kSelectedValue = "selectedValue";
    static constexpr const char* kStartLabel = "startLabel";
    static constexpr const char* kStartSector = "startSector";
    static constexpr const char* kStartUp = "startUp";
    static constexpr const char* kStartDown = "startDown";
    static constexpr const char* kEndLabel = "endLabel";
    static constexpr const char* kEndSector = "endSector";
    static constexpr const char* kEndUp = "endUp";
    static constexpr const char* kEndDown = "endDown";
    static constexpr const char* kTreatLabel = "treatLabel";
    static constexpr const char* kTreatAs = "treatAs";

    static constexpr const char* kNoReader = "Information lost ..go back and parse again";
    static constexpr const char* kNotOpened = "file not opened..";
    static constexpr const char* kNoSelection = "please select a valid volume.";
    static constexpr const char* kUnknownVolume = "can not parse unknown volume";
    static constexpr const char* kFinished = "Finished Scanning.";
    static constexpr const char* kSelectAndNext = "Select volume and click next button...";
    static constexpr const char* kScanned = "Scanned Partitions";
    static constexpr const char* kPopulated = "populated partitions....";
    static constexpr const char* kScanStopped = "Scanning was stopped. The list shows only the volumes found before Stop.";

    // "Treat file system as:" entries, sorted as the drop-down shows them.
    static const std::vector<std::string>& treatEntries();
    // The refusal for a kind whose parser is not built yet; it names the kinds that work.
    static std::string notReadableYet(const std::string& kindName);

    PopulateDriveDlg(CKeswinApp& app, VolumeScanOptions options);
    ~PopulateDriveDlg() override;

    void open() override;
    void next() override;
    void back() override;
    void command(const std::string& controlId) override;
    void stop() override;
    void shutdown() override;

    bool scanning() const { return worker_.running(); }
    const std::vector<VolumeRecord>& records() const { return records_; }
    // The rows as listed, top first.
    const std::vector<VolumeRecord>& rows() const { return rows_; }
    // The record Next would hand on for the current selection and settings.
    VolumeRecord chosenRecord();

private:
    void standardScan();
    void advancedScan();
    void finishAdvancedScan();
    void listRows();
    void selectionChanged();
    void rowClicked();
    void customSettings();
    void addCustomVolume();
    void filterEntries();
    void spin(const char* field, int step);

    VolumeScanOptions options_;
    std::vector<VolumeRecord> records_;  // in the order the scan found them
    std::vector<VolumeRecord> rows_;     // what the list shows, top first
    PageWorker worker_;
    std::shared_ptr<int> alive_;         // guards records posted by the worker
};

std::unique_ptr<PageController> makeVolumeListPage(CKeswinApp& app, const VolumeScanOptions& options);

}  // namespace tavrel::app
