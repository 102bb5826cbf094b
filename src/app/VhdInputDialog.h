// Image selection page (142): choose the image, tell dynamic from fixed, show the
// image's format version, size and geometry, and in one details line its format
// and what the format records (an E01 image's case number, examiner and stored
// hash). Any image the opener reads is accepted, whatever its name (a VHD, VHDX,
// VDI, VMDK, qcow2 or E01 image, or a raw disk such as an exported ".img"); one
// browse command serves every kind.
#pragma once

#include <string>

#include "app/PageController.h"
#include "image/ImageOpener.h"

namespace tavrel::app {

class VhdInputDialog : public PageController {
public:
    // Control ids.
    static constexpr const char* kDynamicDisk = "dynamicDisk";
    static constexpr const char* kFixedDisk = "fixedDisk";
    static constexpr const char* kPath = "path";
    static constexpr const char* kBrowse = "browse";
    // The six information labels and their value fields, shown and hidden together.
    static constexpr const char* kInfoControls[12] = {"versionLabel",  "version",  "sizeLabel",    "size",
                                                      "sptLabel",      "spt",      "headLabel",    "head",
                                                      "cylinderLabel", "cylinder", "detailsLabel", "details"};

    // The VHD entry first; raw disk images and any other file stay reachable, since
    // the content, not the name, decides how an image is read.
    static constexpr const char* kVhdFilter =
        ".VHD Files (*.vhd);;VHDX Files (*.vhdx);;VDI Files (*.vdi);;VMDK Files (*.vmdk);;"
        "qcow2 Files (*.qcow *.qcow2);;E01 Files (*.E01 *.e01);;Raw disk images (*.img *.raw *.dd);;All Files (*)";
    // Shown for a value the image's format does not record (a raw disk's geometry).
    static constexpr const char* kUnknownValue = "-";
    static constexpr const char* kNotVhdName = "Please select valid vhd file to continue the recovery process.";
    static constexpr const char* kInvalidPath = "Please select valid path to continue the recovery process.";
    static constexpr const char* kNoSuchFile = "No such file";

    explicit VhdInputDialog(CKeswinApp& app);

    void open() override;
    void next() override;
    void command(const std::string& controlId) override;

    // Takes path as if the user had browsed to it (the command-line preselection).
    void choosePath(const std::string& path);
    // The path field's text as the user typed or pasted it: the information box
    // shows that image's information, or nothing when it names no image.
    void pathEdited(const std::string& text);

    int imageKind() const { return imageKind_; }

private:
    static std::string refusalText(const OpenedImage& opened, const std::string& path);
    // The details line: the format, then each extra the reader reports.
    static std::string detailsText(const ImageInfo& info);
    // Takes the image kind (1 VHD or raw, 2 VDI, 3 VMDK) from the format the
    // opener found, unless "Fixed Disk" made it 0.
    void takeKind(const ImageInfo& info);
    void dynamicDisk();
    void fixedDisk();
    void browse();
    // Makes path the page's image: its kind from the Dynamic/Fixed choice.
    void takePath(const std::string& path);
    void readImageInformation(const std::string& path);
    void showImageInformation(const OpenedImage& opened);
    void clearInformation();
    void showInformation(bool visible);
    void setPathField(const std::string& path);

    int imageKind_ = 0;  // 0 nothing read (or fixed disk), 1 dynamic VHD, 2 VDI, 3 VMDK
    std::string imagePath_;
};

}  // namespace tavrel::app
