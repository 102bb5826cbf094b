// What every page shares: start-up, the page stack, Help, Close and Exit.
#include "app/PageTexts.h"
#include "app/ShellFixture.h"

namespace tavrel::test {
namespace {

class ShellTest : public ShellFixture {};

TEST_F(ShellTest, StartUpOpensTheImageSelectionPage) {
    wizard.rootName = "x";
    ASSERT_TRUE(app::startWizard(wizard, false));
    EXPECT_EQ(wizard.rootName, "ROOT");
    EXPECT_FALSE(wizard.driveFormatted);
    EXPECT_EQ(wizard.totalSectors, 0u);
    EXPECT_EQ(wizard.currentReader, nullptr);
    ASSERT_NE(wizard.visiblePage(), nullptr);
    EXPECT_EQ(wizard.visiblePage()->pageId(), kImagePage);
    EXPECT_EQ(gui.pageEvents(), (std::vector<std::string>{"create 142", "show 142"}));
    EXPECT_EQ(gui.title(kImagePage), "Tavrel v3.02");
}

TEST_F(ShellTest, SecondInstanceIsToldAndNothingOpens) {
    EXPECT_FALSE(app::startWizard(wizard, true));
    ASSERT_EQ(gui.messages().size(), 1u);
    EXPECT_EQ(gui.messages()[0].text, "Another instance of application is already running");
    EXPECT_EQ(gui.messages()[0].icon, app::Icon::Information);
    EXPECT_EQ(wizard.visiblePage(), nullptr);
    EXPECT_TRUE(gui.pageEvents().empty());
}

TEST_F(ShellTest, HelpMenuItems) {
    ASSERT_TRUE(app::startWizard(wizard, false));
    app::PageController& page = *wizard.visiblePage();
    page.help(0);
    page.help(1);
    EXPECT_EQ(gui.manualPages(), (std::vector<std::string>{app::kManualContents, app::kManualAbout}));
    page.help(2);
    EXPECT_EQ(gui.aboutShown(), 1);
    page.help(7);  // no such item
    EXPECT_EQ(gui.manualPages().size(), 2u);
    EXPECT_TRUE(gui.openedUrls().empty());
}

TEST_F(ShellTest, CloseAsksAndNoChangesNothing) {
    ASSERT_TRUE(app::startWizard(wizard, false));
    wizard.visiblePage()->close();
    ASSERT_EQ(gui.messages().size(), 1u);
    EXPECT_EQ(gui.messages()[0].text, "Do you want to Close Application ?");
    EXPECT_EQ(gui.messages()[0].buttons, app::Buttons::YesNo);
    // The first page asks with the information icon.
    EXPECT_EQ(gui.messages()[0].icon, app::Icon::Information);
    EXPECT_EQ(gui.quitCount(), 0);
    EXPECT_NE(wizard.visiblePage(), nullptr);
}

TEST_F(ShellTest, CloseOnALaterPageAsksWithTheQuestionIconAndYesExits) {
    toScanMode(makeImage({}));
    gui.queueAnswer(app::Answer::Yes);
    wizard.visiblePage()->close();
    EXPECT_EQ(gui.messages().back().icon, app::Icon::Question);
    EXPECT_EQ(gui.quitCount(), 1);
    EXPECT_EQ(wizard.visiblePage(), nullptr);
    const auto events = gui.pageEvents();
    EXPECT_EQ(std::vector<std::string>(events.end() - 2, events.end()),
              (std::vector<std::string>{"destroy 152", "destroy 142"}));
}

TEST_F(ShellTest, ForwardHidesTheCreatorAndBackShowsIt) {
    const auto image = makeImage({});
    toVolumeList(image);
    EXPECT_EQ(gui.visiblePage(), kListPage);
    EXPECT_EQ(wizard.page(kImagePage)->creatorPageId, 0);
    EXPECT_EQ(wizard.page(kModePage)->creatorPageId, kImagePage);
    EXPECT_EQ(wizard.page(kListPage)->creatorPageId, kModePage);

    wizard.visiblePage()->back();
    EXPECT_EQ(gui.visiblePage(), kModePage);
    EXPECT_EQ(wizard.page(kListPage), nullptr);
    EXPECT_EQ(gui.pageEvents().back(), "destroy 134");
    // The creator is as it was left.
    EXPECT_EQ(gui.textOf(kModePage, app::DriveParsingModes::kSelectedDrive), image.string());

    wizard.visiblePage()->back();
    EXPECT_EQ(gui.visiblePage(), kImagePage);
    // The first page has no Back.
    wizard.visiblePage()->back();
    EXPECT_EQ(wizard.visiblePage()->pageId(), kImagePage);
    EXPECT_EQ(gui.pageEvents().back(), "destroy 152");
}

TEST_F(ShellTest, ExitDuringAnAdvancedScanStopsItFirst) {
    VhdSpec spec;
    spec.diskBytes = 256 * 1048576;
    toVolumeList(makeImage(spec), true);
    wizard.visiblePage()->exitApp();
    EXPECT_EQ(gui.quitCount(), 1);
    EXPECT_EQ(wizard.visiblePage(), nullptr);
    gui.runPosted();  // anything the worker posted is dropped
}

TEST_F(ShellTest, InstallReaderReplacesTheReader) {
    const auto image = makeImage({});
    wizard.imagePath = image.string();
    ASSERT_TRUE(wizard.installReader());
    EXPECT_EQ(wizard.totalSectors, 8u * 2048);
    ASSERT_TRUE(wizard.installReader());
    EXPECT_NE(wizard.currentReader, nullptr);
    // A failed open leaves no reader (and no stale size) behind.
    wizard.imagePath = (dir / "missing.vhd").string();
    EXPECT_FALSE(wizard.installReader());
    EXPECT_EQ(wizard.currentReader, nullptr);
    EXPECT_EQ(wizard.totalSectors, 0u);
}

}  // namespace
}  // namespace tavrel::test
