#include "app/VhdInputDialog.h"

#include <unistd.h>

#include <string>

#include "app/CKeswinApp.h"
#include "app/DriveParsingModes.h"
#include "image/FileReadSeekVHD.h"
#include "util/Unicode.h"

namespace tavrel::app {

VhdInputDialog::VhdInputDialog(CKeswinApp& app) : PageController(app, kImageSelectionPage) {}

void VhdInputDialog::open() {
    gui().setWindowTitle(pageId_, kAppTitle);
    gui().setEnabled(pageId_, kPath, false);
    showInformation(false);
    dynamicDisk();
}

void VhdInputDialog::command(const std::string& controlId) {
    if (controlId == kDynamicDisk) {
        dynamicDisk();
    } else if (controlId == kFixedDisk) {
        fixedDisk();
    } else if (controlId == kBrowse) {
        browse();
    }
}

void VhdInputDialog::dynamicDisk() {
    gui().setChecked(pageId_, kDynamicDisk, true);
    gui().setChecked(pageId_, kFixedDisk, false);
    setPathField("");
}

void VhdInputDialog::fixedDisk() {
    setPathField("");
    gui().setChecked(pageId_, kDynamicDisk, false);
    gui().setChecked(pageId_, kFixedDisk, true);
    showInformation(false);
}

void VhdInputDialog::browse() {
    gui().setWaitCursor(true);
    const std::string path = gui().openFileDialog(kVhdFilter);
    gui().setWaitCursor(false);
    // A cancelled dialog changes nothing on the page.
    if (path.empty()) return;
    choosePath(path);
}

void VhdInputDialog::choosePath(const std::string& path) {
    if (path.empty()) return;
    setPathField(path);
    imagePath_ = path;
    // Both kinds are read by the VHD reader later; only a dynamic choice shows the
    // image's information here.
    app_.imageMarker = kImageSelectionPage;
    if (gui().isChecked(pageId_, kFixedDisk)) {
        imageKind_ = 0;
        app_.imageKind = 0;
        return;
    }
    imageKind_ = 1;
    app_.imageKind = 1;
    const bool read = readVhdInformation(path);
    setPathField(path);
    if (read) showInformation(true);
}

bool VhdInputDialog::readVhdInformation(const std::string& path) {
    if (path.size() > 3 && !endsWithIgnoreCase(path, "vhd")) {
        gui().messageBox(kNotVhdName);
        return false;
    }
    // A reader of our own for the time of the read: no reader outlives this page's
    // information read, and the installed one is left alone.
    FileReadSeekVHD reader;
    if (!reader.open(path)) {
        // Not a VHD at all (or unreadable): say so instead of showing garbage values.
        gui().messageBox(reader.lastError());
        showInformation(false);
        return false;
    }
    const VhdFooter& footer = reader.footer();
    gui().setText(pageId_, "version", std::to_string(static_cast<std::int32_t>(footer.formatVersion)));
    gui().setText(pageId_, "spt", std::to_string(footer.sectorsPerTrack));
    gui().setText(pageId_, "head", std::to_string(footer.heads));
    gui().setText(pageId_, "cylinder", std::to_string(footer.cylinders));
    gui().setText(pageId_, "size", std::to_string(footer.originalSize / 1048576) + " MB");
    return true;
}

void VhdInputDialog::showInformation(bool visible) {
    for (const char* id : kInfoControls) gui().setVisible(pageId_, id, visible);
}

void VhdInputDialog::setPathField(const std::string& path) {
    gui().setText(pageId_, kPath, path);
    app_.imagePath = path;
}

void VhdInputDialog::next() {
    const std::string path = gui().text(pageId_, kPath);
    if (path.empty() || ::access(path.c_str(), F_OK) != 0) {
        gui().messageBox(kInvalidPath);
        return;
    }
    app_.imagePath = path;
    app_.forward(makeScanModePage(app_));
}

}  // namespace tavrel::app
