#include "app/ParceModeNtfsDlg.h"

#include <charconv>

#include "app/advanceOptions.h"
#include "app/CKeswinApp.h"
#include "app/PageFactory.h"
#include "fs/factory/FsKinds.h"

namespace tavrel::app {

namespace {

constexpr const char* kDefaultMaxFileSystems = "3";


}  // namespace

std::unique_ptr<PageController> makeRecoveryModePage(CKeswinApp& app, const VolumeRecord& record) {
    return std::make_unique<ParceModeNtfsDlg>(app, record);
}

ParceModeNtfsDlg::ParceModeNtfsDlg(CKeswinApp& app, const VolumeRecord& record)
    : PageController(app, kRecoveryModePage), volume_(record), kind_(fs::findKindByPrefix(record.fsName)) {}

void ParceModeNtfsDlg::open() {
    Gui& g = gui();
    g.setWindowTitle(pageId_, kAppTitle);
    g.setText(pageId_, kMaxFileSystems, kDefaultMaxFileSystems);
    g.setEnabled(pageId_, kMaxFileSystems, false);
    g.setEnabled(pageId_, kDriveFormatted, false);

    // Modes that do not suit the volume's file system are hidden.
    if (kind_) {
        if (!kind_->deepMode) g.setVisible(pageId_, kDeep, false);
        if (!kind_->advancedMode) g.setVisible(pageId_, kAdvanced, false);
    }
    standard();
}

void ParceModeNtfsDlg::command(const std::string& controlId) {
    if (controlId == kStandard) standard();
    else if (controlId == kAdvanced) advanced();
    else if (controlId == kDeep) deep();
    else if (controlId == kDriveFormatted) driveFormattedToggled();
}

void ParceModeNtfsDlg::clearDriveFormatted() {
    app_.driveFormatted = false;
    gui().setChecked(pageId_, kDriveFormatted, false);
}

void ParceModeNtfsDlg::select(const char* radio) {
    for (const char* id : {kStandard, kAdvanced, kDeep})
        if (id == radio) gui().setChecked(pageId_, id, true);
    for (const char* id : {kStandard, kAdvanced, kDeep})
        if (id != radio) gui().setChecked(pageId_, id, false);
}

void ParceModeNtfsDlg::standard() {
    clearDriveFormatted();
    gui().setEnabled(pageId_, kDriveFormatted, false);
    gui().setEnabled(pageId_, kMaxFileSystems, false);
    select(kStandard);
    recoveryMode = 1;
}

void ParceModeNtfsDlg::advanced() {
    clearDriveFormatted();
    gui().setEnabled(pageId_, kMaxFileSystems, true);
    if (gui().isChecked(pageId_, kAdvanced)) {
        gui().setChecked(pageId_, kStandard, false);
        gui().setChecked(pageId_, kDeep, false);
    } else {
        select(kStandard);
    }
    gui().setEnabled(pageId_, kDriveFormatted, kind_ && kind_->driveFormattedQuestion);
    recoveryMode = 2;
}

void ParceModeNtfsDlg::deep() {
    clearDriveFormatted();
    gui().setEnabled(pageId_, kDriveFormatted, false);
    gui().setEnabled(pageId_, kMaxFileSystems, false);
    select(kDeep);
    recoveryMode = 3;
}

void ParceModeNtfsDlg::driveFormattedToggled() {
    app_.driveFormatted = gui().isChecked(pageId_, kDriveFormatted);
}

int ParceModeNtfsDlg::maxFileSystems() const {
    const std::string text = app_.gui().text(pageId_, kMaxFileSystems);
    const auto first = text.find_first_not_of(" \t");
    int value = 0;
    if (first != std::string::npos) std::from_chars(text.data() + first, text.data() + text.size(), value);
    return value > 0 ? value : 3;
}

void ParceModeNtfsDlg::next() {
    switch (recoveryMode) {
    case 2:
        // Only the kinds with a structure hunt go on; anything else would reach a
        // page that can do nothing.
        if (!kind_ || !kind_->advancedMode || !kind_->make) {
            gui().messageBox(advancedtexts::kNotAdvanced);
            return;
        }
        app_.forward(makeAdvancedOptionsPage(app_, volume_, maxFileSystems(), app_.driveFormatted));
        break;
    case 1:
    case 3:
        app_.forward(makeScanPage(app_, volume_, recoveryMode, maxFileSystems(), app_.driveFormatted));
        break;
    default:
        break;
    }
}

void ParceModeNtfsDlg::help(int item) {
    if (item == 0) gui().openManual(kManualPage);
    else PageController::help(item);
}

}  // namespace tavrel::app
