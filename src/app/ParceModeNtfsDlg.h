// Recovery mode page (136): offers Standard, Advanced and Deep for the chosen
// volume, the maximum number of file systems to find and "Is Drive Formated..?",
// and leads to the scan page (Standard, Deep) or the advanced options page
// (Advanced).
#pragma once

#include <string>

#include "app/PageController.h"
#include "fs/factory/FsKinds.h"
#include "volume/VolumeRecord.h"

namespace tavrel::app {

class ParceModeNtfsDlg : public PageController {
public:
    // Control ids of the page.
    static constexpr const char* kGroup = "modeGroup";            // "Select Recovery Mode:"
    static constexpr const char* kStandard = "standard";          // radio "Standard"
    static constexpr const char* kAdvanced = "advanced";          // radio "Advanced"
    static constexpr const char* kDeep = "deep";                  // radio "Deep"
    static constexpr const char* kMaxFileSystems = "maxFs";       // numeric field, "3"
    static constexpr const char* kDriveFormatted = "driveFormatted";  // check box
    static constexpr const char* kNext = "next";
    static constexpr const char* kBack = "back";
    static constexpr const char* kHelp = "help";

    ParceModeNtfsDlg(CKeswinApp& app, const VolumeRecord& record);

    // The manual's page on recovery modes, which the page's Help opens: it also
    // tells how to reach raw recovery, which is no mode of this page.
    static constexpr const char* kManualPage = "recovering.html";

    void open() override;
    void next() override;
    void help(int item) override;
    // kStandard, kAdvanced, kDeep, kDriveFormatted.
    void command(const std::string& controlId) override;

    void standard();
    void advanced();
    void deep();
    void driveFormattedToggled();

    // The max-file-systems field read as a decimal number (3 when it is not a
    // positive number).
    int maxFileSystems() const;

    const VolumeRecord& volume() const { return volume_; }
    int recoveryMode = 0;  // 1 Standard, 2 Advanced, 3 Deep; 0 until chosen

private:
    void select(const char* radio);
    void clearDriveFormatted();

    VolumeRecord volume_;     // the page's own copy of the volume list's selection
    const fs::FsKindRow* kind_;  // the volume's kind, by name or its first three characters
};

}  // namespace tavrel::app
