// The preview pane on the scan page, offscreen, on a FAT16 volume made by
// mkfs.fat and mtools: a deleted picture, a text and a binary file show as a
// picture, text and a hex dump; a picture whose content was overwritten says
// it does not decode; the pane's toggle hides it and is kept in the settings.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QSettings>

#include "ui/PreviewVolume.h"
#include "ui/qt/KeptSettings.h"

namespace tavrel::test {
namespace {

TEST(PreviewPane, ShowsPictureTextAndHexAndSaysWhenAPictureDoesNotDecode) {
    qtApp();
    TempDir store;
    QCoreApplication::setOrganizationName(QStringLiteral("TavrelPreviewPaneTest"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(store.path().string()));
    QSettings().clear();
    TempDir dir;
    const auto image = makePreviewVolume(dir.path());
    if (image.empty()) GTEST_SKIP() << "mkfs.fat or mtools missing";

    ui::QtWizard wizard;
    wizard.window().resize(1000, 600);
    ui::ScanPage* page = scanPreviewVolume(wizard, image);
    ASSERT_NE(page, nullptr);
    ui::PreviewPane& pane = *page->previewPane();
    ASSERT_TRUE(pane.isVisible());
    EXPECT_EQ(pane.message().toStdString(), app::texts::kPreviewHint);

    struct Case {
        const char* name;  // the listed name ends with it
        std::function<void()> check;
    };
    const Case cases[] = {
        {"UNSET.PNG",
         [&] {
             EXPECT_TRUE(pane.showsPicture());
             EXPECT_TRUE(pane.caption().endsWith(QString::fromStdString(app::texts::pictureCaption(320, 200))));
         }},
        {"NOTES.TXT", [&] { EXPECT_TRUE(pane.text().startsWith(QStringLiteral("Shopping list\nbread\tmilk\napples"))); }},
        {"DATA.BIN",
         [&] {
             EXPECT_TRUE(pane.text().startsWith(QStringLiteral("00000000  00 07 0e 15")));
             EXPECT_TRUE(pane.caption().endsWith(QString::fromUtf8(app::texts::kPreviewHex)));
         }},
        {"BROKEN.JPG", [&] { EXPECT_EQ(pane.message().toStdString(), app::texts::kPreviewNoPicture); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(previewListed(*page, QString::fromLatin1(c.name)));
        c.check();
    }

    // Hidden by its toggle, and kept hidden for the next page.
    pane.toggle()->setChecked(false);
    EXPECT_FALSE(pane.isVisible());
    EXPECT_FALSE(ui::PreviewPane().shown());
    pane.toggle()->setChecked(true);
    EXPECT_TRUE(ui::kept::previewShown());
    QCoreApplication::setOrganizationName(QString());
}

}  // namespace
}  // namespace tavrel::test
