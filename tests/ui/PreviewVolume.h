// A small FAT16 volume for the preview pane's test and screenshot, made with
// sfdisk, mkfs.fat and mtools (one MBR partition): sunset.png (a picture drawn here, then deleted),
// notes.txt, data.bin (binary), and broken.jpg (a JPEG whose content after its
// first marker was overwritten with zeros). Empty path when the tools are missing.
#pragma once

#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include <filesystem>
#include <string>
#include <vector>

#include <QTableView>
#include <QTreeView>
#include <QTreeWidget>

#include "app/ScanTexts.h"
#include "app/VolumeScanDlg.h"
#include "support/TestSupport.h"
#include "ui/UiTestSupport.h"
#include "ui/qt/EntryTreeModel.h"
#include "ui/qt/FileListModel.h"
#include "ui/qt/PreviewPane.h"
#include "ui/qt/QtWizard.h"
#include "ui/qt/ScanPage.h"

namespace tavrel::test {

inline QImage sunsetPicture() {
    QImage image(320, 200, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, 140);
    sky.setColorAt(0, QColor(40, 60, 140));
    sky.setColorAt(1, QColor(250, 160, 80));
    p.fillRect(0, 0, 320, 140, sky);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 220, 120));
    p.drawEllipse(QPointF(200, 130), 36, 36);
    p.setBrush(QColor(40, 90, 60));
    p.drawRect(0, 140, 320, 60);
    return image;
}

inline std::filesystem::path makePreviewVolume(const std::filesystem::path& dir) {
    namespace fsys = std::filesystem;
    for (const char* tool : {"sfdisk", "mkfs.fat", "mcopy", "mdel"})
        if (!haveTool(tool)) return {};
    const fsys::path image = dir / "preview.img";
    const auto put = [&](const std::string& name, const std::vector<std::uint8_t>& bytes) {
        writeFileBytes(dir / name, bytes);
        return runCommand("MTOOLS_SKIP_CHECK=1 mcopy -i " + shellQuote(image.string() + "@@1048576") + " " +
                          shellQuote((dir / name).string()) + " ::" + name)
                   .exitCode == 0;
    };
    // One MBR partition from sector 2048, as the volume list finds it.
    const std::string img = shellQuote(image.string());
    if (runCommand("truncate -s 17M " + img + " && printf 'start=2048, type=6\\n' | sfdisk -q " + img +
                   " && mkfs.fat -F 16 --offset 2048 -n PREVIEW " + img + " 16384 >/dev/null 2>&1")
            .exitCode != 0)
        return {};
    sunsetPicture().save(QString::fromStdString((dir / "sunset.png").string()), "PNG");
    const std::string notes = "Shopping list\nbread\tmilk\napples\r\n";
    std::vector<std::uint8_t> binary(3000);
    for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
    std::vector<std::uint8_t> broken(6000, 0);
    broken[0] = 0xFF, broken[1] = 0xD8, broken[2] = 0xFF, broken[3] = 0xE0;
    if (!put("sunset.png", readFileBytes(dir / "sunset.png")) ||
        !put("notes.txt", std::vector<std::uint8_t>(notes.begin(), notes.end())) || !put("data.bin", binary) ||
        !put("broken.jpg", broken))
        return {};
    if (runCommand("MTOOLS_SKIP_CHECK=1 mdel -i " + shellQuote(image.string() + "@@1048576") + " ::sunset.png")
            .exitCode != 0)
        return {};
    return image;
}

// Walks the wizard on `image` to the scan page (Standard mode), waits for the
// scan and lists the top folder's files. nullptr when a step fails.
inline ui::ScanPage* scanPreviewVolume(ui::QtWizard& wizard, const std::filesystem::path& image) {
    auto messages = std::make_shared<std::vector<std::string>>();
    wizard.gui().messageHook = [messages](const std::string& text, app::Buttons, app::Icon) {
        messages->push_back(text);
        return app::Answer::Ok;
    };
    if (!wizard.start(false, image.string()) || !click(wizard.gui(), app::kImageSelectionPage, "next") ||
        !click(wizard.gui(), app::kScanModePage, "next"))
        return nullptr;
    auto* volumes = pageControl<QTreeWidget>(wizard.gui(), app::kVolumeListPage, "volumeList");
    if (!volumes || volumes->topLevelItemCount() == 0) return nullptr;
    volumes->setCurrentItem(volumes->topLevelItem(0));
    if (!click(wizard.gui(), app::kVolumeListPage, "next") || !click(wizard.gui(), app::kRecoveryModePage, "next"))
        return nullptr;
    const std::string done = app::scantexts::kScanDone;
    if (!pumpUntil([&] { return std::find(messages->begin(), messages->end(), done) != messages->end(); }))
        return nullptr;
    auto* page = qobject_cast<ui::ScanPage*>(wizard.gui().pageWidget(app::kScanPage));
    if (!page) return nullptr;
    page->treeView()->setCurrentIndex(page->treeModel()->index(0, 0));
    QCoreApplication::processEvents();
    return page;
}

// Selects the listed file whose name ends with `suffix` (case aside: a deleted
// FAT name lost its first letter) and waits for its preview. False when none is
// listed or the preview never came.
inline bool previewListed(ui::ScanPage& page, const QString& suffix) {
    QAbstractItemModel& list = *page.listModel();
    int row = -1;
    for (int r = 0; r < list.rowCount(); ++r)
        if (list.data(list.index(r, 0)).toString().toUpper().endsWith(suffix.toUpper())) row = r;
    if (row < 0) return false;
    page.listView()->setCurrentIndex(list.index(row, 0));
    const QString reading = QString::fromUtf8(app::texts::kPreviewReading);
    return pumpUntil([&] { return page.previewPane()->message() != reading; });
}

}  // namespace tavrel::test
