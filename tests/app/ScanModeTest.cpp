// The scan mode page through its controller: initial states, the mode controls,
// what Next hands on, the GPT guess and the disk image export.
#include <fstream>

#include "app/ShellFixture.h"

namespace tavrel::test {
namespace {

using app::DriveParsingModes;
constexpr int kPage = app::kScanModePage;

class ScanModeTest : public ShellFixture {
protected:
    VhdSpec mbrDisk() {
        VhdSpec spec;
        spec.diskBytes = 6 * 1048576;
        spec.sectors[0] = mbrSector(0x07, 2048, 4096);
        spec.sectors[2048] = ntfsBootSector(4095);
        spec.sectors[5000] = std::vector<std::uint8_t>(512, 0x5A);
        return spec;
    }
};

TEST_F(ScanModeTest, OpensWithStandardScanAndTheExportIdle) {
    const auto image = makeImage(mbrDisk());
    toScanMode(image);
    EXPECT_EQ(gui.title(kPage), "Tavrel v3.02");
    EXPECT_EQ(gui.textOf(kPage, DriveParsingModes::kSelectedDrive), image.string());
    EXPECT_EQ(gui.textOf(kPage, "status"), "Choose any one of the mode and Click Next....");
    EXPECT_TRUE(gui.checked(kPage, DriveParsingModes::kStandardScan));
    EXPECT_FALSE(gui.checked(kPage, DriveParsingModes::kAdvanceScan));
    EXPECT_FALSE(gui.checked(kPage, DriveParsingModes::kGpt));
    EXPECT_FALSE(gui.checked(kPage, DriveParsingModes::kSaveImageCheck));
    EXPECT_FALSE(gui.enabled(kPage, DriveParsingModes::kSaveImage));
    for (const char* id : {DriveParsingModes::kNoSkip, DriveParsingModes::kCustomSetting, DriveParsingModes::kStartLabel,
                           DriveParsingModes::kStartSector, DriveParsingModes::kEndLabel, DriveParsingModes::kEndSector})
        EXPECT_FALSE(gui.enabled(kPage, id)) << id;
    EXPECT_EQ(gui.textOf(kPage, DriveParsingModes::kStartSector), "0");
    EXPECT_EQ(gui.textOf(kPage, DriveParsingModes::kEndSector), "0");
    EXPECT_FALSE(gui.visible(kPage, "progress"));
    EXPECT_FALSE(gui.visible(kPage, "stop"));
    EXPECT_EQ(wizard.visiblePage()->creatorPageId, app::kImageSelectionPage);
}

TEST_F(ScanModeTest, GptDiskOpensWithGptTicked) {
    VhdSpec spec;
    spec.sectors[0] = protectiveMbr(static_cast<std::uint32_t>(spec.diskBytes / 512));
    spec.sectors[1] = gptHeaderSector();
    toScanMode(makeImage(spec));
    EXPECT_TRUE(gui.checked(kPage, DriveParsingModes::kGpt));
}

TEST_F(ScanModeTest, ModeControlsEnableTheirOptions) {
    auto& page = toScanMode(makeImage(mbrDisk()));
    click(kPage, DriveParsingModes::kAdvanceScan);
    EXPECT_FALSE(gui.checked(kPage, DriveParsingModes::kStandardScan));
    EXPECT_TRUE(gui.enabled(kPage, DriveParsingModes::kNoSkip));
    EXPECT_TRUE(gui.enabled(kPage, DriveParsingModes::kCustomSetting));
    EXPECT_FALSE(gui.enabled(kPage, DriveParsingModes::kStartSector));

    click(kPage, DriveParsingModes::kCustomSetting);
    EXPECT_TRUE(gui.enabled(kPage, DriveParsingModes::kStartSector));
    EXPECT_TRUE(gui.enabled(kPage, DriveParsingModes::kEndLabel));
    click(kPage, DriveParsingModes::kCustomSetting, false);
    EXPECT_FALSE(gui.enabled(kPage, DriveParsingModes::kEndSector));

    click(kPage, DriveParsingModes::kSaveImageCheck);
    EXPECT_TRUE(gui.enabled(kPage, DriveParsingModes::kSaveImage));
    click(kPage, DriveParsingModes::kSaveImageCheck, false);
    EXPECT_FALSE(gui.enabled(kPage, DriveParsingModes::kSaveImage));

    click(kPage, DriveParsingModes::kStandardScan);
    EXPECT_FALSE(gui.checked(kPage, DriveParsingModes::kAdvanceScan));
    EXPECT_FALSE(gui.enabled(kPage, DriveParsingModes::kNoSkip));
    EXPECT_FALSE(gui.enabled(kPage, DriveParsingModes::kCustomSetting));
    EXPECT_EQ(page.scanOptions().scanMode, 1);
}

TEST_F(ScanModeTest, NextHandsOnModeFlagsAndRange) {
    auto& page = toScanMode(makeImage(mbrDisk()));
    click(kPage, DriveParsingModes::kAdvanceScan);
    click(kPage, DriveParsingModes::kNoSkip);
    click(kPage, DriveParsingModes::kGpt);
    click(kPage, DriveParsingModes::kCustomSetting);
    gui.userSetText(kPage, DriveParsingModes::kStartSector, "2048");
    gui.userSetText(kPage, DriveParsingModes::kEndSector, "9999999999");
    const app::VolumeScanOptions options = page.scanOptions();
    EXPECT_EQ(options.scanMode, 2);
    EXPECT_TRUE(options.noSkip);
    EXPECT_TRUE(options.gpt);
    EXPECT_TRUE(options.customRange);
    EXPECT_EQ(options.customStart, 2048);
    EXPECT_EQ(options.customEnd, 9999999999);

    // A negative end hands no range on.
    gui.userSetText(kPage, DriveParsingModes::kEndSector, "-1");
    EXPECT_FALSE(page.scanOptions().customRange);
    click(kPage, DriveParsingModes::kCustomSetting, false);
    gui.userSetText(kPage, DriveParsingModes::kEndSector, "100");
    EXPECT_FALSE(page.scanOptions().customRange);

    page.next();
    ASSERT_EQ(wizard.visiblePage()->pageId(), app::kVolumeListPage);
    EXPECT_EQ(wizard.visiblePage()->creatorPageId, kPage);
}

TEST_F(ScanModeTest, ExportWritesTheWholeDiskAndNeverOverwrites) {
    const auto image = makeImage(mbrDisk());
    auto& page = toScanMode(image);
    const auto out = dir / "out";
    std::filesystem::create_directory(out);
    // Something already carries the first name: it must stay untouched.
    { std::ofstream(out / "disk.vhd.img") << "keep me"; }

    click(kPage, DriveParsingModes::kSaveImageCheck);
    gui.queueFolder(out.string());
    page.command(DriveParsingModes::kSaveImage);
    EXPECT_EQ(gui.messageTexts().at(0), "Make sure you have sufficient disk space at saving location of Image File");
    const std::string output = (out / "1disk.vhd.img").string();
    EXPECT_EQ(gui.textOf(kPage, DriveParsingModes::kOutputPath), output);
    // While it runs nothing can start another job or leave the page.
    if (page.exporting()) {
        EXPECT_FALSE(gui.enabled(kPage, "next"));
        EXPECT_FALSE(gui.enabled(kPage, "back"));
        EXPECT_FALSE(gui.enabled(kPage, DriveParsingModes::kSaveImage));
        EXPECT_FALSE(gui.enabled(kPage, DriveParsingModes::kSaveImageCheck));
        EXPECT_TRUE(gui.visible(kPage, "progress"));
    }
    ASSERT_TRUE(gui.runPostedUntil([&page] { return !page.exporting(); }));

    EXPECT_EQ(gui.textOf(kPage, "status"), "Image Saved,Choose any one of the mode and click next.");
    EXPECT_EQ(readFileBytes(out / "disk.vhd.img").size(), 7u);
    const auto bytes = readFileBytes(output);
    ASSERT_EQ(bytes.size(), 6u * 1048576);
    EXPECT_EQ(bytes[510], 0x55);
    EXPECT_EQ(bytes[5000 * 512], 0x5A);
    EXPECT_EQ(bytes[4000 * 512], 0);  // unallocated reads as zeros
    // The export's reader is gone; the controls are back.
    EXPECT_EQ(wizard.currentReader, nullptr);
    EXPECT_EQ(wizard.totalSectors, 0u);
    EXPECT_TRUE(gui.enabled(kPage, "next"));
    EXPECT_TRUE(gui.enabled(kPage, "back"));
    EXPECT_TRUE(gui.enabled(kPage, DriveParsingModes::kSaveImage));
    EXPECT_FALSE(gui.visible(kPage, "progress"));
    EXPECT_FALSE(gui.visible(kPage, "stop"));

    // A folder that cannot take the file: the message says why and the status
    // line no longer claims a saved image.
    gui.clearMessages();
    gui.queueFolder((dir / "missing").string());
    page.command(DriveParsingModes::kSaveImage);
    ASSERT_TRUE(gui.runPostedUntil([&page] { return !page.exporting(); }));
    EXPECT_EQ(gui.lastMessage(), "Disk Image file cannot be created\nNo such file or directory");
    EXPECT_EQ(gui.textOf(kPage, "status"), "Disk Image file cannot be created");
}

TEST_F(ScanModeTest, CancelledFolderChoiceStartsNothing) {
    auto& page = toScanMode(makeImage(mbrDisk()));
    click(kPage, DriveParsingModes::kSaveImageCheck);
    page.command(DriveParsingModes::kSaveImage);  // no folder queued
    EXPECT_FALSE(page.exporting());
    EXPECT_EQ(gui.textOf(kPage, DriveParsingModes::kOutputPath), "");
    EXPECT_EQ(gui.runPosted(), 0);
}

TEST_F(ScanModeTest, ExportWithoutAChosenImageSaysInformationLost) {
    // Reaching the page with a path that was never chosen as an image.
    const auto image = makeImage(mbrDisk());
    auto& page = toScanMode(image);
    wizard.imageMarker = 0;
    click(kPage, DriveParsingModes::kSaveImageCheck);
    gui.queueFolder(dir.path().string());
    page.command(DriveParsingModes::kSaveImage);
    EXPECT_EQ(gui.lastMessage(), "Information lost, please click Back button and parse again");
    EXPECT_FALSE(page.exporting());
    EXPECT_TRUE(gui.enabled(kPage, "next"));
}

TEST_F(ScanModeTest, StopAsksAndNoLetsTheExportFinish) {
    auto& page = toScanMode(makeImage(mbrDisk()));
    click(kPage, DriveParsingModes::kSaveImageCheck);
    gui.queueFolder(dir.path().string());
    page.command(DriveParsingModes::kSaveImage);
    gui.clearMessages();
    if (page.exporting()) {
        gui.queueAnswer(app::Answer::No);
        page.stop();
        ASSERT_EQ(gui.messages().size(), 1u);
        EXPECT_EQ(gui.messages()[0].text, "Are you sure to stop the running process?");
        EXPECT_EQ(gui.messages()[0].buttons, app::Buttons::YesNo);
        EXPECT_EQ(gui.messages()[0].icon, app::Icon::Question);
    }
    ASSERT_TRUE(gui.runPostedUntil([&page] { return !page.exporting(); }));
    EXPECT_EQ(gui.textOf(kPage, "status"), "Image Saved,Choose any one of the mode and click next.");
}

TEST_F(ScanModeTest, ExitDuringExportEndsItSafely) {
    VhdSpec spec = mbrDisk();
    spec.diskBytes = 64 * 1048576;
    auto& page = toScanMode(makeImage(spec));
    click(kPage, DriveParsingModes::kSaveImageCheck);
    gui.queueFolder(dir.path().string());
    page.command(DriveParsingModes::kSaveImage);
    // Exit stops and joins the worker before the page goes; nothing posted later runs against it.
    page.exitApp();
    EXPECT_EQ(gui.quitCount(), 1);
    EXPECT_EQ(wizard.visiblePage(), nullptr);
    gui.runPosted();
    EXPECT_EQ(wizard.currentReader, nullptr);
}

}  // namespace
}  // namespace tavrel::test
