// The image selection page through its controller and the recording Gui.
#include <gtest/gtest.h>

#include "app/CKeswinApp.h"
#include "app/FakeGui.h"
#include "app/ShellVhdBuilder.h"
#include "app/Startup.h"
#include "app/VhdInputDialog.h"
#include "image/ImageFormats.h"
#include "support/TestSupport.h"

namespace tavrel::test {
namespace {

using app::VhdInputDialog;
constexpr int kPage = app::kImageSelectionPage;

class VhdInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(app::startWizard(app, false));
        page = dynamic_cast<VhdInputDialog*>(app.visiblePage());
        ASSERT_NE(page, nullptr);
    }
    bool infoVisible() const {
        for (const char* id : VhdInputDialog::kInfoControls)
            if (!gui.visible(kPage, id)) return false;
        return true;
    }
    bool infoHidden() const {
        for (const char* id : VhdInputDialog::kInfoControls)
            if (gui.visible(kPage, id)) return false;
        return true;
    }
    std::filesystem::path image(const std::string& name, const VhdSpec& spec = {}) {
        auto path = dir / name;
        writeDynamicVhd(path, spec);
        return path;
    }
    void browseTo(const std::filesystem::path& path) {
        gui.queueFile(path.string());
        page->command(VhdInputDialog::kBrowse);
    }

    TempDir dir;
    FakeGui gui;
    app::CKeswinApp app{gui};
    VhdInputDialog* page = nullptr;
};

TEST_F(VhdInputTest, OpensWithDynamicDiskAndHiddenInformation) {
    EXPECT_EQ(gui.title(kPage), "Tavrel v3.02");
    EXPECT_TRUE(gui.checked(kPage, VhdInputDialog::kDynamicDisk));
    EXPECT_FALSE(gui.checked(kPage, VhdInputDialog::kFixedDisk));
    EXPECT_TRUE(gui.enabled(kPage, VhdInputDialog::kPath));  // typed or pasted
    EXPECT_EQ(gui.textOf(kPage, VhdInputDialog::kPath), "");
    EXPECT_TRUE(infoHidden());
    EXPECT_EQ(gui.visiblePage(), kPage);
}

TEST_F(VhdInputTest, BrowsingShowsVersionSizeAndGeometry) {
    VhdSpec spec;
    spec.originalSize = 4ull << 30;  // 4 GiB as the footer states it
    spec.cylinders = 127;
    spec.heads = 16;
    spec.sectorsPerTrack = 63;
    const auto path = image("disk.vhd", spec);
    browseTo(path);

    EXPECT_EQ(gui.fileFilters(), std::vector<std::string>{VhdInputDialog::kVhdFilter});
    EXPECT_EQ(gui.waitCursorDepth(), 0);
    EXPECT_TRUE(gui.messages().empty());
    EXPECT_EQ(gui.textOf(kPage, VhdInputDialog::kPath), path.string());
    EXPECT_EQ(gui.textOf(kPage, "version"), "65536");
    EXPECT_EQ(gui.textOf(kPage, "size"), "4096 MB");
    EXPECT_EQ(gui.textOf(kPage, "cylinder"), "127");
    EXPECT_EQ(gui.textOf(kPage, "head"), "16");
    EXPECT_EQ(gui.textOf(kPage, "spt"), "63");
    EXPECT_TRUE(infoVisible());
    EXPECT_EQ(app.imageMarker, 142);
    EXPECT_EQ(page->imageKind(), 1);
    // The information read leaves no reader behind.
    EXPECT_EQ(app.currentReader, nullptr);
}

TEST_F(VhdInputTest, SizeIsWholeMegabytesRoundedDown) {
    VhdSpec spec;
    spec.originalSize = 3 * 1048576 + 1048575;
    browseTo(image("odd.vhd", spec));
    EXPECT_EQ(gui.textOf(kPage, "size"), "3 MB");
}

TEST_F(VhdInputTest, UppercaseExtensionIsAccepted) {
    browseTo(image("DISK.VHD"));
    EXPECT_TRUE(gui.messages().empty());
    EXPECT_TRUE(infoVisible());
}

TEST_F(VhdInputTest, CancelledDialogChangesNothing) {
    const auto path = image("disk.vhd");
    browseTo(path);
    const std::string version = gui.textOf(kPage, "version");
    page->command(VhdInputDialog::kBrowse);  // no file queued: cancelled
    EXPECT_EQ(gui.textOf(kPage, VhdInputDialog::kPath), path.string());
    EXPECT_EQ(gui.textOf(kPage, "version"), version);
    EXPECT_TRUE(infoVisible());
    EXPECT_TRUE(gui.messages().empty());
}

TEST_F(VhdInputTest, FixedDiskFillsOnlyThePath) {
    const auto path = image("disk.vhd");
    browseTo(path);
    page->command(VhdInputDialog::kFixedDisk);
    EXPECT_TRUE(gui.checked(kPage, VhdInputDialog::kFixedDisk));
    EXPECT_FALSE(gui.checked(kPage, VhdInputDialog::kDynamicDisk));
    EXPECT_EQ(gui.textOf(kPage, VhdInputDialog::kPath), "");
    EXPECT_TRUE(infoHidden());

    browseTo(path);
    EXPECT_EQ(gui.textOf(kPage, VhdInputDialog::kPath), path.string());
    EXPECT_TRUE(infoHidden());
    EXPECT_EQ(page->imageKind(), 0);

    // Back to dynamic: the path empties and nothing shows until the next browse.
    page->command(VhdInputDialog::kDynamicDisk);
    EXPECT_EQ(gui.textOf(kPage, VhdInputDialog::kPath), "");
    EXPECT_TRUE(infoHidden());
}

TEST_F(VhdInputTest, ContentNotNameDecidesWhatIsShownOrRefused) {
    // A VHD under another name shows its information.
    browseTo(image("disk.img"));
    EXPECT_TRUE(gui.messages().empty());
    EXPECT_TRUE(infoVisible());
    EXPECT_EQ(gui.textOf(kPage, "version"), "65536");

    VhdImage damaged = buildVhd({});
    damaged.forgeHeader(vhdfield::kHeaderBlockSize, 0, 4);
    damaged.write(dir / "damaged.vhd");
    writeFileBytes(dir / "notes.vhd", std::vector<std::uint8_t>(4000, 0x41));
    struct Case {
        const char* name;
        const char* message;
    };
    for (const Case c : {Case{"notes.vhd",
                              "Please select valid vhd file to continue the recovery process.\nNo image format "
                              "recognises its content, and its length (4000 bytes) is not a whole number of "
                              "512-byte sectors, as a raw disk's is."},
                         Case{"damaged.vhd", "Not a valid vhd file"}}) {
        SCOPED_TRACE(c.name);
        gui.clearMessages();
        browseTo(dir / c.name);
        ASSERT_EQ(gui.messages().size(), 1u);
        EXPECT_EQ(gui.messages()[0].text, c.message);
        EXPECT_EQ(gui.messages()[0].icon, app::Icon::Information);
        EXPECT_TRUE(infoHidden());
        // The path stays, but Next refuses with the same reason until an image opens.
        EXPECT_EQ(gui.textOf(kPage, VhdInputDialog::kPath), (dir / c.name).string());
        gui.clearMessages();
        page->next();
        EXPECT_EQ(gui.lastMessage(), c.message);
        EXPECT_EQ(app.visiblePage(), page);
    }
}

TEST_F(VhdInputTest, RawDiskImageIsDescribedAndLeadsToTheScanModePage) {
    // A raw disk, as the export writes it: the disk's bytes and nothing else.
    VhdSpec spec;
    spec.diskBytes = 3 * 1048576;
    spec.sectors[0] = mbrSector(0x07, 2048, 4096);
    spec.sectors[2048] = ntfsBootSector(4095);
    const auto path = dir / "disk.vhd.img";
    writeFileBytes(path, rawDiskOf(spec));
    browseTo(path);
    EXPECT_TRUE(gui.messages().empty());
    EXPECT_TRUE(infoVisible());
    EXPECT_EQ(gui.textOf(kPage, "version"), "raw");
    EXPECT_EQ(gui.textOf(kPage, "size"), "3 MB");
    for (const char* id : {"cylinder", "head", "spt"}) EXPECT_EQ(gui.textOf(kPage, id), VhdInputDialog::kUnknownValue);
    EXPECT_EQ(app.currentReader, nullptr);

    page->next();
    ASSERT_EQ(app.visiblePage()->pageId(), app::kScanModePage);
    EXPECT_EQ(gui.textOf(app::kScanModePage, "selectedDrive"), path.string());
    // The volume list page installs a reader for the raw disk and lists its volume.
    app.visiblePage()->next();
    ASSERT_EQ(app.visiblePage()->pageId(), app::kVolumeListPage);
    ASSERT_NE(app.currentReader, nullptr);
    EXPECT_EQ(app.currentReader->describe().format, "raw");
    EXPECT_EQ(app.totalSectors, spec.diskBytes / 512);
    EXPECT_EQ(gui.rows(app::kVolumeListPage, "volumeList").size(), 1u);
}

// The open dialog's filter offers every format the opener reads, the raw disk
// names, and any file.
TEST(VhdInputFilter, OffersEveryReadableKindAndAllFiles) {
    const std::string filter = VhdInputDialog::kVhdFilter;
    for (const ImageFormat& format : imageFormats())
        EXPECT_NE(filter.find(std::string("*.") + format.name + ")"), std::string::npos) << format.name;
    for (const char* raw : {"*.img", "*.raw", "*.dd"}) EXPECT_NE(filter.find(raw), std::string::npos) << raw;
    EXPECT_NE(filter.find("All Files (*)"), std::string::npos);
}

TEST_F(VhdInputTest, NextUsesATypedPath) {
    // Typed with the stray spaces a paste brings.
    gui.setText(kPage, VhdInputDialog::kPath, " " + (dir / "typo.vhd").string() + "\n");
    page->next();
    EXPECT_EQ(gui.lastMessage(), "No such file");
    EXPECT_EQ(app.visiblePage(), page);

    const auto path = image("typed.vhd");
    gui.setText(kPage, VhdInputDialog::kPath, " " + path.string() + "\n");
    page->next();
    ASSERT_EQ(app.visiblePage()->pageId(), app::kScanModePage);
    EXPECT_EQ(app.imagePath, path.string());
    EXPECT_EQ(app.imageKind, 1);
    EXPECT_EQ(gui.textOf(app::kScanModePage, "selectedDrive"), path.string());
}

TEST_F(VhdInputTest, NextNeedsAnExistingPath) {
    page->next();
    EXPECT_EQ(gui.lastMessage(), "Please select valid path to continue the recovery process.");
    EXPECT_EQ(app.visiblePage(), page);

    const auto path = image("gone.vhd");
    browseTo(path);
    std::filesystem::remove(path);
    gui.clearMessages();
    page->next();
    EXPECT_EQ(gui.lastMessage(), "No such file");
    EXPECT_EQ(app.visiblePage(), page);
    // A path given at start-up that does not exist says so too.
    gui.clearMessages();
    page->choosePath(path.string());
    EXPECT_EQ(gui.lastMessage(), "No such file");
}

TEST_F(VhdInputTest, NextOpensTheScanModePageWithThePath) {
    const auto path = image("disk.vhd");
    browseTo(path);
    page->next();
    ASSERT_NE(app.visiblePage(), page);
    EXPECT_EQ(app.visiblePage()->pageId(), app::kScanModePage);
    EXPECT_EQ(app.visiblePage()->creatorPageId, kPage);
    EXPECT_EQ(gui.visiblePage(), app::kScanModePage);
    EXPECT_EQ(gui.textOf(app::kScanModePage, "selectedDrive"), path.string());
}

}  // namespace
}  // namespace tavrel::test
