// The settings kept between runs, written to a temporary settings folder: the
// open and folder dialogs start where they were last used, and the window comes
// back at its saved size and position.
#include <gtest/gtest.h>

#include <QDir>
#include <QSettings>

#include <filesystem>

#include "support/TestSupport.h"
#include "ui/UiTestSupport.h"
#include "ui/qt/KeptSettings.h"
#include "ui/qt/QtWizard.h"

namespace tavrel::test {
namespace {

class KeptSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        qtApp();
        QCoreApplication::setOrganizationName(QStringLiteral("TavrelKeptSettingsTest"));
        const QString folder = QString::fromStdString(store.path().string());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
        QSettings().clear();
    }
    void TearDown() override { QCoreApplication::setOrganizationName(QString()); }

    TempDir store;
    TempDir images;
    TempDir out;
};

TEST_F(KeptSettingsTest, DialogsStartInTheFolderLastUsed) {
    EXPECT_EQ(ui::kept::lastFolder(QStringLiteral("open")), QDir::homePath());
    {
        ui::QtWizard wizard;
        ui::QtGui& gui = wizard.gui();
        gui.keepSettings = true;
        const std::string image = (images.path() / "disk.vhd").string();
        gui.fileDialogHook = [&](const std::string&) { return image; };
        gui.folderDialogHook = [&](const std::string&) { return out.path().string(); };
        EXPECT_EQ(gui.openFileDialog("*"), image);
        EXPECT_EQ(gui.chooseFolderDialog("Please choose a folder."), out.path().string());
        // A cancelled dialog keeps the folder used before.
        gui.fileDialogHook = [](const std::string&) { return std::string(); };
        EXPECT_EQ(gui.openFileDialog("*"), "");
    }
    // A later run reads them back from the settings.
    QSettings().sync();
    EXPECT_EQ(ui::kept::lastFolder(QStringLiteral("open")).toStdString(), images.path().string());
    EXPECT_EQ(ui::kept::lastFolder(QStringLiteral("save")).toStdString(), out.path().string());
}

TEST_F(KeptSettingsTest, TheWindowComesBackAtItsSavedSize) {
    QSize saved;
    {
        ui::QtWizard first;
        EXPECT_FALSE(ui::kept::restoreWindow(first.window()));
        saved = first.window().size() + QSize(120, 80);
        first.window().resize(saved);
        ui::kept::saveWindow(first.window());
    }
    ui::QtWizard second;
    EXPECT_NE(second.window().size(), saved);
    EXPECT_TRUE(ui::kept::restoreWindow(second.window()));
    EXPECT_EQ(second.window().size(), saved);
}

}  // namespace
}  // namespace tavrel::test
