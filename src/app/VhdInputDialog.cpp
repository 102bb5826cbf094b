#include "app/VhdInputDialog.h"

#include <filesystem>
#include <iterator>
#include <string>

#include "app/CKeswinApp.h"
#include "app/DriveParsingModes.h"
#include "app/ImageSelectionTexts.h"
#include "image/ImageOpener.h"
#include "image/ImageTexts.h"
#include "image/VdiFormat.h"
#include "image/VmdkFormat.h"
#include "util/Unicode.h"

namespace tavrel::app {

VhdInputDialog::VhdInputDialog(CKeswinApp& app) : PageController(app, kImageSelectionPage) {}

void VhdInputDialog::open() {
    gui().setWindowTitle(pageId_, kAppTitle);
    // The path can be typed or pasted as well as browsed to.
    gui().setEnabled(pageId_, kPath, true);
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
    clearInformation();
}

void VhdInputDialog::fixedDisk() {
    setPathField("");
    gui().setChecked(pageId_, kDynamicDisk, false);
    gui().setChecked(pageId_, kFixedDisk, true);
    clearInformation();
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
    takePath(path);
    if (imageKind_ == 0) {
        clearInformation();
        return;
    }
    readImageInformation(path);
    setPathField(path);
}

void VhdInputDialog::takePath(const std::string& path) {
    imagePath_ = path;
    // Both kinds are read by the reader the content calls for later; only a
    // dynamic choice shows the image's information here.
    app_.imageMarker = kImageSelectionPage;
    if (gui().isChecked(pageId_, kFixedDisk)) {
        imageKind_ = 0;
        app_.imageKind = 0;
        return;
    }
    imageKind_ = 1;
    app_.imageKind = 1;
}

void VhdInputDialog::pathEdited(const std::string& text) {
    // Typed or pasted: the box follows the path at once, without messages (the
    // path is still being written); Next tells why a path is refused.
    const std::string path(trim(text));
    app_.imagePath = path;
    clearInformation();
    if (path.empty() || gui().isChecked(pageId_, kFixedDisk)) return;
    const OpenedImage opened = openImage(path);
    if (!opened) return;
    takePath(path);
    showImageInformation(opened);
}

void VhdInputDialog::readImageInformation(const std::string& path) {
    // A reader of our own for the time of the read: no reader outlives this page's
    // information read, and the installed one is left alone.
    clearInformation();
    const OpenedImage opened = openImage(path);
    if (!opened) {
        gui().messageBox(refusalText(opened, path));
        return;
    }
    showImageInformation(opened);
}

// Hides the box and empties its values, so no earlier image's details remain.
void VhdInputDialog::clearInformation() {
    showInformation(false);
    for (std::size_t i = 1; i < std::size(kInfoControls); i += 2) gui().setText(pageId_, kInfoControls[i], "");
}

void VhdInputDialog::showImageInformation(const OpenedImage& opened) {
    const ImageInfo info = opened.reader->describe();
    takeKind(info);
    // A format without a version number (a raw disk) shows its format name there.
    gui().setText(pageId_, "version", info.version ? info.version->text : info.format);
    const auto geometryText = [&info](std::uint32_t DiskGeometry::*field) {
        return info.geometry ? std::to_string((*info.geometry).*field) : std::string(kUnknownValue);
    };
    gui().setText(pageId_, "spt", geometryText(&DiskGeometry::sectorsPerTrack));
    gui().setText(pageId_, "head", geometryText(&DiskGeometry::heads));
    gui().setText(pageId_, "cylinder", geometryText(&DiskGeometry::cylinders));
    gui().setText(pageId_, "size", info.sizeText());
    gui().setText(pageId_, "details", detailsText(info));
    showInformation(true);
}

std::string VhdInputDialog::detailsText(const ImageInfo& info) {
    std::string text = info.format.empty() ? "raw" : info.format;
    for (const InfoField& f : info.fields) text += "; " + f.label + ": " + f.value.text;
    return text;
}

void VhdInputDialog::takeKind(const ImageInfo& info) {
    if (imageKind_ == 0) return;
    imageKind_ = info.format == "vdi" ? 2 : info.format == "vmdk" ? 3 : 1;
    app_.imageKind = imageKind_;
}

// Why an image cannot be used: a missing file says so, a file that is no image
// at all (or a folder) gets the page's own request for a valid file (of the
// kind its name promises) and, on a second line, why; a damaged or unreadable
// image the reader's reason.
std::string VhdInputDialog::refusalText(const OpenedImage& opened, const std::string& path) {
    if (opened.error == ImageError::NotFound) return kNoSuchFile;
    if (opened.error != ImageError::NotAnImage && opened.error != ImageError::NotAFile) return opened.message;
    std::string text = kNotVhdName;
    if (endsWithIgnoreCase(path, ".vdi")) text = kNotVdiText;
    else if (endsWithIgnoreCase(path, ".vmdk")) text = kNotVmdkText;
    else if (endsWithIgnoreCase(path, ".vhdx")) text = imagetexts::kNotVhdxText;
    else if (endsWithIgnoreCase(path, ".qcow2") || endsWithIgnoreCase(path, ".qcow")) text = imagetexts::kNotQcowText;
    else if (endsWithIgnoreCase(path, ".e01")) text = imagetexts::kNotE01Text;
    std::error_code ec;
    if (opened.error == ImageError::NotAFile) {
        text += "\n";
        text += std::filesystem::is_directory(path, ec) ? texts::kPathIsFolder : texts::kPathIsNoFile;
    } else if (const std::uintmax_t length = std::filesystem::file_size(path, ec); !ec) {
        text += "\n" + (length == 0 ? std::string(texts::kFileIsEmpty) : texts::noImageReason(length));
    }
    return text;
}

void VhdInputDialog::showInformation(bool visible) {
    for (const char* id : kInfoControls) gui().setVisible(pageId_, id, visible);
}

void VhdInputDialog::setPathField(const std::string& path) {
    gui().setText(pageId_, kPath, path);
    app_.imagePath = path;
}

void VhdInputDialog::next() {
    // A pasted path often comes with spaces or a line end around it.
    const std::string path(trim(gui().text(pageId_, kPath)));
    if (path.empty()) {
        gui().messageBox(kInvalidPath);
        return;
    }
    // Next goes on only with an image that opens: the later pages need its reader.
    const OpenedImage opened = openImage(path);
    if (!opened) {
        gui().messageBox(refusalText(opened, path));
        return;
    }
    // A typed or pasted path is taken as a browsed one would have been.
    if (path != imagePath_) {
        takePath(path);
        takeKind(opened.reader->describe());
    }
    app_.imagePath = path;
    app_.forward(makeScanModePage(app_));
}

}  // namespace tavrel::app
