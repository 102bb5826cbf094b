// The real wizard, offscreen: image selection with the demo image, then the scan
// mode page and the volume list page with a listed volume.
#include <gtest/gtest.h>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>

#include <filesystem>

#include "app/ShellVhdBuilder.h"
#include "app/VhdInputDialog.h"
#include "image/FileReadSeekVHD.h"
#include "support/TestSupport.h"
#include "ui/UiTestSupport.h"
#include "ui/qt/ManualWindow.h"
#include "ui/qt/QtWizard.h"

namespace tavrel::test {
namespace {

struct Expected {
    std::filesystem::path image;
    std::string fsName;
    std::string start;
};

// The committed demo image when present, else a small image made here.
Expected demoImage(const TempDir& dir) {
    const std::filesystem::path demo = std::filesystem::path(TAVREL_SOURCE_DIR) / "samples" / "demo.vhd";
    if (std::filesystem::exists(demo)) return {demo, "NTFS", "2048"};
    VhdSpec spec;
    spec.diskBytes = 16 * 1048576;
    spec.sectors[0] = mbrSector(0x07, 2048, 30000);
    spec.sectors[2048] = ntfsBootSector(30000);
    const auto path = dir / "demo.vhd";
    writeDynamicVhd(path, spec);
    return {path, "NTFS", "2048"};
}

class WizardTest : public ::testing::Test {
protected:
    void SetUp() override {
        qtApp();
        wizard = std::make_unique<ui::QtWizard>();
        wizard->gui().messageHook = [this](const std::string& text, app::Buttons, app::Icon) {
            messages.push_back(text);
            return app::Answer::No;
        };
    }
    void TearDown() override { wizard.reset(); }
    ui::QtGui& gui() { return wizard->gui(); }
    int currentPage() {
        auto* page = qobject_cast<ui::PageWidget*>(wizard->window().stack()->currentWidget());
        return page ? page->pageId() : 0;
    }

    TempDir dir;
    std::unique_ptr<ui::QtWizard> wizard;
    std::vector<std::string> messages;
};

TEST_F(WizardTest, DemoImageThroughScanModeToTheVolumeList) {
    const Expected expected = demoImage(dir);
    FileReadSeekVHD reader;
    ASSERT_TRUE(reader.open(expected.image.string()));
    const VhdFooter footer = reader.footer();

    ASSERT_TRUE(wizard->start(false, expected.image.string()));
    EXPECT_EQ(wizard->window().windowTitle().toStdString(), "Tavrel v3.02");
    EXPECT_EQ(currentPage(), app::kImageSelectionPage);
    constexpr int p = app::kImageSelectionPage;
    EXPECT_EQ(shownText(gui(), p, "path"), expected.image.string());
    EXPECT_EQ(shownText(gui(), p, "version"), "65536");
    EXPECT_EQ(shownText(gui(), p, "size"), std::to_string(footer.originalSize / 1048576) + " MB");
    EXPECT_EQ(shownText(gui(), p, "cylinder"), std::to_string(footer.cylinders));
    EXPECT_EQ(shownText(gui(), p, "head"), std::to_string(footer.heads));
    EXPECT_EQ(shownText(gui(), p, "spt"), std::to_string(footer.sectorsPerTrack));
    EXPECT_FALSE(pageControl<QWidget>(gui(), p, "version")->isHidden());
    EXPECT_EQ(pageControl<QLabel>(gui(), p, "sizeLabel")->text().toStdString(), "Size of HDD:");

    // Enter and Escape neither advance nor close the page.
    for (int key : {Qt::Key_Return, Qt::Key_Escape}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(pageControl<QWidget>(gui(), p, "next"), &press);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(currentPage(), app::kImageSelectionPage);

    ASSERT_TRUE(click(gui(), p, "next"));
    ASSERT_EQ(currentPage(), app::kScanModePage);
    constexpr int s = app::kScanModePage;
    EXPECT_EQ(shownText(gui(), s, "selectedDrive"), expected.image.string());
    EXPECT_EQ(shownText(gui(), s, "status"), "Choose any one of the mode and Click Next....");
    EXPECT_TRUE(pageControl<QAbstractButton>(gui(), s, "standardScan")->isChecked());
    EXPECT_FALSE(pageControl<QAbstractButton>(gui(), s, "gpt")->isChecked());  // an MBR disk
    EXPECT_FALSE(pageControl<QWidget>(gui(), s, "noSkip")->isEnabled());
    EXPECT_TRUE(pageControl<QWidget>(gui(), s, "progress")->isHidden());

    ASSERT_TRUE(click(gui(), s, "next"));
    ASSERT_EQ(currentPage(), app::kVolumeListPage);
    constexpr int v = app::kVolumeListPage;
    auto* list = pageControl<QTreeWidget>(gui(), v, "volumeList");
    ASSERT_NE(list, nullptr);
    ASSERT_GE(list->topLevelItemCount(), 1);
    QTreeWidgetItem* first = list->topLevelItem(0);
    EXPECT_EQ(first->text(0).toStdString(), "0");
    EXPECT_EQ(first->text(1).toStdString(), expected.fsName);
    EXPECT_EQ(first->text(3).toStdString(), expected.start);
    EXPECT_EQ(shownText(gui(), v, "status"), "Select volume and click next button...");
    EXPECT_TRUE(pageControl<QWidget>(gui(), v, "customCheck")->isEnabled());
    EXPECT_TRUE(messages.empty());

    // Selecting the row fills the sector fields.
    list->setCurrentItem(first);
    EXPECT_EQ(shownText(gui(), v, "startSector"), expected.start);

    // Back shows the scan mode page again, as it was left.
    ASSERT_TRUE(click(gui(), v, "back"));
    EXPECT_EQ(currentPage(), app::kScanModePage);
    QCoreApplication::processEvents();
    EXPECT_EQ(gui().pageWidget(v), nullptr);
}

TEST_F(WizardTest, BrowseButtonUsesTheVhdFilterAndShowsTheImage) {
    const Expected expected = demoImage(dir);
    std::vector<std::string> filters;
    wizard->gui().fileDialogHook = [&](const std::string& filter) {
        filters.push_back(filter);
        return expected.image.string();
    };
    ASSERT_TRUE(wizard->start(false));
    constexpr int p = app::kImageSelectionPage;
    EXPECT_TRUE(pageControl<QWidget>(gui(), p, "version")->isHidden());
    EXPECT_TRUE(pageControl<QAbstractButton>(gui(), p, "dynamicDisk")->isChecked());
    ASSERT_TRUE(click(gui(), p, "browse"));
    EXPECT_EQ(filters, std::vector<std::string>{app::VhdInputDialog::kVhdFilter});
    EXPECT_EQ(shownText(gui(), p, "path"), expected.image.string());
    EXPECT_EQ(shownText(gui(), p, "version"), "65536");
    EXPECT_FALSE(pageControl<QWidget>(gui(), p, "version")->isHidden());

    // "Fixed Disk" empties the path and hides the information.
    ASSERT_TRUE(click(gui(), p, "fixedDisk"));
    EXPECT_EQ(shownText(gui(), p, "path"), "");
    EXPECT_TRUE(pageControl<QWidget>(gui(), p, "version")->isHidden());
    EXPECT_FALSE(pageControl<QAbstractButton>(gui(), p, "dynamicDisk")->isChecked());
}

TEST_F(WizardTest, AnImageDroppedOnTheFirstPageIsTakenAsThePath) {
    const Expected expected = demoImage(dir);
    ASSERT_TRUE(wizard->start(false));
    constexpr int p = app::kImageSelectionPage;
    ui::PageWidget* page = gui().pageWidget(p);
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(pageControl<QLineEdit>(gui(), p, "path")->isEnabled());
    EXPECT_FALSE(pageControl<QLineEdit>(gui(), p, "path")->isReadOnly());

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(expected.image.string()))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(page, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(page, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(shownText(gui(), p, "path"), expected.image.string());
    EXPECT_EQ(shownText(gui(), p, "version"), "65536");
}

// The File Information box follows the path however it changes (command line,
// typing, "..."), never keeps an earlier image's details, and a path that is
// no image is refused with the page's request and, on a second line, why.
TEST_F(WizardTest, InformationBoxFollowsThePathAndRefusalsSayWhy) {
    const Expected expected = demoImage(dir);
    writeFileBytes(dir / "disk.img", std::vector<std::uint8_t>(1048576, 0));
    writeFileBytes(dir / "notes.txt", std::vector<std::uint8_t>(1000, 'x'));
    std::filesystem::create_directory(dir / "folder");
    ASSERT_TRUE(wizard->start(false, expected.image.string()));
    constexpr int p = app::kImageSelectionPage;
    EXPECT_EQ(shownText(gui(), p, "version"), "65536");
    auto* path = pageControl<QLineEdit>(gui(), p, "path");
    const auto type = [&](const std::filesystem::path& typed) {
        path->selectAll();
        QTest::keyClicks(path, QString::fromStdString(typed.string()));
    };
    const std::string notImage = "Please select valid vhd file to continue the recovery process.\n";
    struct Case {
        std::filesystem::path typed;
        const char* version;  // nullptr: the box is hidden and empty
        std::string refusal;  // Next's message; "" when Next goes on
    };
    const Case cases[] = {
        {dir / "disk.img", "raw", ""},
        {dir / "notes.txt", nullptr,
         notImage + "No image format recognises its content, and its length (1000 bytes) is not a whole number of "
                    "512-byte sectors, as a raw disk's is."},
        {dir / "folder", nullptr, notImage + "This path is a folder: choose the image file inside it."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.string());
        type(c.typed);
        EXPECT_TRUE(messages.empty());
        EXPECT_EQ(pageControl<QWidget>(gui(), p, "version")->isHidden(), c.version == nullptr);
        EXPECT_EQ(shownText(gui(), p, "version"), c.version ? c.version : "");
        EXPECT_EQ(shownText(gui(), p, "details"), c.version ? "raw" : "");
        if (c.refusal.empty()) continue;
        ASSERT_TRUE(click(gui(), p, "next"));
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0], c.refusal);
        messages.clear();
    }
}

TEST_F(WizardTest, HelpMenuOpensManualHomepageAndAbout) {
    std::vector<QUrl> urls;
    int about = 0;
    gui().urlHook = [&](const QUrl& url) { urls.push_back(url); };
    gui().aboutHook = [&] { ++about; };
    ASSERT_TRUE(wizard->start(false));
    auto* help = pageControl<QPushButton>(gui(), app::kImageSelectionPage, "help");
    ASSERT_NE(help, nullptr);
    const auto items = help->menu()->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0]->text().toStdString(), "Help");
    EXPECT_EQ(items[1]->text().toStdString(), "Software Homepage");
    EXPECT_EQ(items[2]->text().toStdString(), "About");
    for (QAction* item : items) item->trigger();
    // Help and the home page are pages of the shipped manual, and they exist.
    ASSERT_EQ(urls.size(), 2u);
    EXPECT_TRUE(urls[0].toLocalFile().endsWith("/manual/index.html"));
    EXPECT_TRUE(urls[1].toLocalFile().endsWith("/manual/about.html"));
    for (const QUrl& url : urls) EXPECT_TRUE(QFileInfo::exists(url.toLocalFile())) << url.toString().toStdString();
    EXPECT_EQ(about, 1);
}

TEST_F(WizardTest, HelpWithoutDesktopHandlerShowsManualWindow) {
    std::vector<QUrl> asked;
    gui().desktopOpen = [&](const QUrl& url) {
        asked.push_back(url);
        return false;
    };
    ASSERT_TRUE(wizard->start(false));
    auto* help = pageControl<QPushButton>(gui(), app::kImageSelectionPage, "help");
    ASSERT_NE(help, nullptr);
    help->menu()->actions()[1]->trigger();
    ASSERT_EQ(asked.size(), 1u);
    ui::ManualWindow* manual = gui().manualWindow();
    ASSERT_NE(manual, nullptr);
    EXPECT_TRUE(manual->isVisible());
    EXPECT_EQ(manual->currentPage(), asked[0]);
    auto* text = manual->findChild<QTextBrowser*>("manualText");
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->toPlainText().contains("Tavrel"));
    help->menu()->actions()[0]->trigger();  // the same window shows the contents
    EXPECT_EQ(gui().manualWindow(), manual);
    EXPECT_TRUE(manual->currentPage().toLocalFile().endsWith("/index.html"));
}

TEST_F(WizardTest, SecondInstanceIsRefused) {
    EXPECT_FALSE(wizard->start(true));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Another instance of application is already running");
    EXPECT_FALSE(wizard->window().isVisible());
}

TEST_F(WizardTest, CloseBoxAsksAndNoKeepsTheWizard) {
    ASSERT_TRUE(wizard->start(false));
    EXPECT_FALSE(wizard->window().close());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Do you want to Close Application ?");
    EXPECT_EQ(currentPage(), app::kImageSelectionPage);
}

// Exit (Ctrl+Q) and an agreed close end the running event loop: the window may
// not refuse the application's own quit.
TEST_F(WizardTest, ExitEndsTheEventLoop) {
    for (const bool viaCloseBox : {false, true}) {
        SetUp();
        wizard->gui().messageHook = [](const std::string&, app::Buttons, app::Icon) { return app::Answer::Yes; };
        ASSERT_TRUE(wizard->start(false));
        QTimer::singleShot(0, [this, viaCloseBox] {
            if (viaCloseBox) wizard->window().close();
            else wizard->window().onExit();
        });
        QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
        EXPECT_EQ(QCoreApplication::exec(), 0) << (viaCloseBox ? "close box" : "Ctrl+Q");
        EXPECT_FALSE(wizard->window().isVisible()) << (viaCloseBox ? "close box" : "Ctrl+Q");
    }
}

}  // namespace
}  // namespace tavrel::test
