// The recovery mode page through its controller and the recording Gui: which
// modes each file system offers, what each mode enables, and where Next leads.
#include <gtest/gtest.h>

#include "app/CKeswinApp.h"
#include "app/FakeGui.h"
#include "app/PageFactory.h"
#include "app/ParceModeNtfsDlg.h"

namespace tavrel::test {
namespace {

using app::ParceModeNtfsDlg;
constexpr int kPage = app::kRecoveryModePage;

class RecoveryModeTest : public ::testing::Test {
protected:
    ParceModeNtfsDlg& openFor(const std::string& fsName) {
        VolumeRecord record;
        record.fsName = fsName;
        record.volumeName = "1";
        record.sizeMiBText = "8 MB";
        page = dynamic_cast<ParceModeNtfsDlg*>(&app.forward(app::makeRecoveryModePage(app, record)));
        return *page;
    }
    // What a click on a radio button does: the toolkit checks it, then the page reacts.
    void click(const char* radio) {
        gui.userSetChecked(kPage, radio, true);
        for (const char* other : {ParceModeNtfsDlg::kStandard, ParceModeNtfsDlg::kAdvanced, ParceModeNtfsDlg::kDeep})
            if (other != radio) gui.userSetChecked(kPage, other, false);
        page->command(radio);
    }
    bool offered(const char* radio) const { return gui.visible(kPage, radio); }

    FakeGui gui;
    app::CKeswinApp app{gui};
    ParceModeNtfsDlg* page = nullptr;
};

TEST_F(RecoveryModeTest, OpensInStandardModeWithDefaults) {
    openFor("NTFS");
    EXPECT_EQ(gui.title(kPage), "Tavrel v3.02");
    EXPECT_EQ(gui.textOf(kPage, ParceModeNtfsDlg::kMaxFileSystems), "3");
    EXPECT_FALSE(gui.enabled(kPage, ParceModeNtfsDlg::kMaxFileSystems));
    EXPECT_FALSE(gui.enabled(kPage, ParceModeNtfsDlg::kDriveFormatted));
    EXPECT_TRUE(gui.checked(kPage, ParceModeNtfsDlg::kStandard));
    EXPECT_FALSE(gui.checked(kPage, ParceModeNtfsDlg::kAdvanced));
    EXPECT_FALSE(gui.checked(kPage, ParceModeNtfsDlg::kDeep));
    EXPECT_EQ(page->recoveryMode, 1);
    EXPECT_EQ(page->volume().fsName, "NTFS");
}

TEST_F(RecoveryModeTest, ModesHiddenByFileSystemPrefix) {
    struct Case {
        const char* fsName;
        bool advanced;
        bool deep;
    };
    const Case cases[] = {
        {"NTFS", true, true},   {"FAT32", true, false}, {"fat16", true, false}, {"FAT64", true, false},
        {"eXFAT", true, false}, {"extX", false, false}, {"HFS+", false, true},  {"  ntfs", true, true},
        {"Unknown", true, true},
    };
    for (const Case& c : cases) {
        FakeGui localGui;
        app::CKeswinApp localApp(localGui);
        VolumeRecord record;
        record.fsName = c.fsName;
        localApp.forward(app::makeRecoveryModePage(localApp, record));
        EXPECT_TRUE(localGui.visible(kPage, ParceModeNtfsDlg::kStandard)) << c.fsName;
        EXPECT_EQ(localGui.visible(kPage, ParceModeNtfsDlg::kAdvanced), c.advanced) << c.fsName;
        EXPECT_EQ(localGui.visible(kPage, ParceModeNtfsDlg::kDeep), c.deep) << c.fsName;
    }
}

TEST_F(RecoveryModeTest, AdvancedEnablesDriveFormattedOnlyForFat) {
    openFor("FAT32");
    click(ParceModeNtfsDlg::kAdvanced);
    EXPECT_EQ(page->recoveryMode, 2);
    EXPECT_TRUE(gui.enabled(kPage, ParceModeNtfsDlg::kMaxFileSystems));
    EXPECT_TRUE(gui.enabled(kPage, ParceModeNtfsDlg::kDriveFormatted));
    EXPECT_TRUE(gui.checked(kPage, ParceModeNtfsDlg::kAdvanced));
    EXPECT_FALSE(gui.checked(kPage, ParceModeNtfsDlg::kStandard));

    FakeGui ntfsGui;
    app::CKeswinApp ntfsApp(ntfsGui);
    VolumeRecord record;
    record.fsName = "NTFS";
    auto& ntfsPage = dynamic_cast<ParceModeNtfsDlg&>(ntfsApp.forward(app::makeRecoveryModePage(ntfsApp, record)));
    ntfsGui.userSetChecked(kPage, ParceModeNtfsDlg::kAdvanced, true);
    ntfsPage.command(ParceModeNtfsDlg::kAdvanced);
    EXPECT_TRUE(ntfsGui.enabled(kPage, ParceModeNtfsDlg::kMaxFileSystems));
    EXPECT_FALSE(ntfsGui.enabled(kPage, ParceModeNtfsDlg::kDriveFormatted));
}

TEST_F(RecoveryModeTest, SwitchingModesClearsDriveFormatted) {
    openFor("FAT16");
    click(ParceModeNtfsDlg::kAdvanced);
    gui.userSetChecked(kPage, ParceModeNtfsDlg::kDriveFormatted, true);
    page->command(ParceModeNtfsDlg::kDriveFormatted);
    EXPECT_TRUE(app.driveFormatted);

    click(ParceModeNtfsDlg::kStandard);
    EXPECT_FALSE(app.driveFormatted);
    EXPECT_FALSE(gui.checked(kPage, ParceModeNtfsDlg::kDriveFormatted));
    EXPECT_FALSE(gui.enabled(kPage, ParceModeNtfsDlg::kDriveFormatted));
    EXPECT_FALSE(gui.enabled(kPage, ParceModeNtfsDlg::kMaxFileSystems));

    gui.userSetChecked(kPage, ParceModeNtfsDlg::kDriveFormatted, true);
    page->command(ParceModeNtfsDlg::kDriveFormatted);
    click(ParceModeNtfsDlg::kAdvanced);
    EXPECT_FALSE(app.driveFormatted);
    EXPECT_FALSE(gui.checked(kPage, ParceModeNtfsDlg::kDriveFormatted));
}

TEST_F(RecoveryModeTest, DeepSelectsDeepAlone) {
    openFor("NTFS");
    click(ParceModeNtfsDlg::kDeep);
    EXPECT_EQ(page->recoveryMode, 3);
    EXPECT_TRUE(gui.checked(kPage, ParceModeNtfsDlg::kDeep));
    EXPECT_FALSE(gui.checked(kPage, ParceModeNtfsDlg::kStandard));
    EXPECT_FALSE(gui.checked(kPage, ParceModeNtfsDlg::kAdvanced));
    EXPECT_FALSE(gui.enabled(kPage, ParceModeNtfsDlg::kMaxFileSystems));
}

TEST_F(RecoveryModeTest, MaxFileSystemsReadAsNumber) {
    openFor("NTFS");
    gui.userSetText(kPage, ParceModeNtfsDlg::kMaxFileSystems, "7");
    EXPECT_EQ(page->maxFileSystems(), 7);
    gui.userSetText(kPage, ParceModeNtfsDlg::kMaxFileSystems, "abc");
    EXPECT_EQ(page->maxFileSystems(), 3);
}

TEST_F(RecoveryModeTest, NextOpensScanPageForStandardAndDeep) {
    for (const char* mode : {ParceModeNtfsDlg::kStandard, ParceModeNtfsDlg::kDeep}) {
        FakeGui localGui;
        app::CKeswinApp localApp(localGui);
        VolumeRecord record;
        record.fsName = "NTFS";
        auto& p = dynamic_cast<ParceModeNtfsDlg&>(localApp.forward(app::makeRecoveryModePage(localApp, record)));
        localGui.userSetChecked(kPage, mode, true);
        p.command(mode);
        p.next();
        ASSERT_NE(localApp.visiblePage(), nullptr);
        EXPECT_EQ(localApp.visiblePage()->pageId(), app::kScanPage) << mode;
        EXPECT_EQ(localApp.visiblePage()->creatorPageId, kPage);
        // No reader is installed in this test: the scan page says so and starts nothing.
        EXPECT_EQ(localGui.lastMessage(), "Please Restart the program to re begin necessary initialization...");
    }
}

TEST_F(RecoveryModeTest, NextOpensAdvancedOptionsForAdvanced) {
    openFor("NTFS");
    click(ParceModeNtfsDlg::kAdvanced);
    page->next();
    ASSERT_NE(app.visiblePage(), nullptr);
    EXPECT_EQ(app.visiblePage()->pageId(), app::kAdvancedOptionsPage);
}

}  // namespace
}  // namespace tavrel::test
