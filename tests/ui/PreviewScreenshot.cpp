// The manual's screenshot of the preview pane: the scan page on the preview
// test's FAT16 volume with its deleted picture shown. Runs only when
// TAVREL_SCREENSHOTS_DIR names the folder to write it into (scripts/screenshots.sh).
#include <gtest/gtest.h>

#include <QPixmap>

#include <cstdlib>

#include "ui/PreviewVolume.h"

namespace tavrel::test {
namespace {

TEST(ScanScreenshots, PreviewPaneOnADeletedPicture) {
    const char* dirVar = std::getenv("TAVREL_SCREENSHOTS_DIR");
    if (!dirVar || !*dirVar) GTEST_SKIP() << "TAVREL_SCREENSHOTS_DIR not set";
    qtApp();
    TempDir work;
    const auto image = makePreviewVolume(work.path());
    ASSERT_FALSE(image.empty()) << "mkfs.fat or mtools missing";
    ui::QtWizard wizard;
    wizard.window().resize(wizard.window().size().expandedTo(QSize(1000, 560)));
    ui::ScanPage* page = scanPreviewVolume(wizard, image);
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(previewListed(*page, QStringLiteral("unset.png")));
    QCoreApplication::processEvents();
    const std::filesystem::path out = std::filesystem::path(dirVar) / "6-preview.png";
    ASSERT_TRUE(wizard.window().grab().save(QString::fromStdString(out.string()), "PNG"));
}

}  // namespace
}  // namespace tavrel::test
