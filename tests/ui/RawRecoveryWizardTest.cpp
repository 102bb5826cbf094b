// The raw recovery page in the real wizard, offscreen: a disk whose one
// partition holds no file system but known files, treated as RAW on the volume
// list; Parse with the shipped default rules, the category tree, ticking and
// saving, compared with the original files' SHA-256; and the tree filling while
// the carve runs, held halfway by a reader that makes later reads wait.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QSettings>
#include <QStackedWidget>
#include <QTreeWidget>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>

#include "app/CKeswinApp.h"
#include "app/RawRecoveryDialog.h"
#include "app/RawTexts.h"
#include "app/ScanTexts.h"
#include "raw/RuleFile.h"
#include "raw/RuleTexts.h"
#include "support/CarveFiles.h"
#include "support/TestSupport.h"
#include "ui/UiTestSupport.h"
#include "ui/qt/PreviewPane.h"
#include "ui/qt/QtWizard.h"
#include "ui/qt/RawRecoveryPage.h"

namespace tavrel::test {
namespace {

namespace fsys = std::filesystem;
using app::RawRecoveryDialog;
constexpr int kRaw = app::kRawRecoveryPage;
constexpr std::int64_t kVolumeSector = 2048;

// Reads through `inner`; a read that reaches past byte `gateAt` of the disk waits
// until release().
class GatedReader final : public readWriteInterface {
public:
    GatedReader(std::unique_ptr<readWriteInterface> inner, std::int64_t gateAt)
        : inner_(std::move(inner)), gateAt_(gateAt) {}
    bool open(std::string) override { return true; }
    std::int64_t diskSize() const override { return inner_->diskSize(); }
    bool isUnallocated(std::int64_t offset, std::int64_t length) const override {
        return inner_->isUnallocated(offset, length);
    }
    bool readAt(std::int64_t offset, MutableByteSpan out) const override {
        if (offset + static_cast<std::int64_t>(out.size()) > gateAt_) {
            std::unique_lock lock(mutex_);
            released_.wait(lock, [this] { return open_; });
        }
        return inner_->readAt(offset, out);
    }
    void release() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        released_.notify_all();
    }

private:
    std::unique_ptr<readWriteInterface> inner_;
    std::int64_t gateAt_;
    mutable std::mutex mutex_;
    mutable std::condition_variable released_;
    bool open_ = false;
};

class RawRecoveryWizardTest : public ::testing::Test {
protected:
    void SetUp() override {
        qtApp();
        volume.place("jpg", 4096, makeJpeg(7000, 21));
        volume.place("png", 65536, makePng(3000, 22));
        volume.place("pdf", 131072, makePdf(2500, 23));
        volume.place("zip", 1048576 + 512, makeZip(4000, 24, "note"));
        volume.place("wav", 1572864, makeWav(6000, 25));
        // One MBR partition over the volume, which has no boot record.
        const Bytes disk = diskWithPartition(volume.bytes, kVolumeSector);
        writeFileBytes(dir / "disk.img", disk);

        wizard = std::make_unique<ui::QtWizard>();
        wizard->gui().messageHook = [this](const std::string& text, app::Buttons, app::Icon) {
            messages.push_back(text);
            return app::Answer::Ok;
        };
        wizard->gui().folderDialogHook = [this](const std::string&) { return (dir / "out").string(); };
    }
    void TearDown() override {
        if (gate) gate->release();
        wizard.reset();
    }

    ui::QtGui& gui() { return wizard->gui(); }
    bool shown(const std::string& text) { return std::find(messages.begin(), messages.end(), text) != messages.end(); }

    // Image, scan mode, the volume list with the partition treated as RAW.
    RawRecoveryDialog* openRawPage() {
        EXPECT_TRUE(wizard->start(false, (dir / "disk.img").string()));
        EXPECT_TRUE(click(gui(), app::kImageSelectionPage, "next"));
        EXPECT_TRUE(click(gui(), app::kScanModePage, "next"));
        auto* volumes = pageControl<QTreeWidget>(gui(), app::kVolumeListPage, "volumeList");
        if (!volumes || volumes->topLevelItemCount() < 1) return nullptr;
        volumes->setCurrentItem(volumes->topLevelItem(0));
        pageControl<QCheckBox>(gui(), app::kVolumeListPage, "customCheck")->click();
        pageControl<QComboBox>(gui(), app::kVolumeListPage, "treatAs")->setCurrentText(QStringLiteral("RAW"));
        EXPECT_TRUE(click(gui(), app::kVolumeListPage, "next"));
        return dynamic_cast<RawRecoveryDialog*>(wizard->app().page(kRaw));
    }

    CarveVolume volume{2 * 1048576};
    TempDir dir;
    std::unique_ptr<ui::QtWizard> wizard;
    std::vector<std::string> messages;
    GatedReader* gate = nullptr;  // owned by the application once installed
};

TEST_F(RawRecoveryWizardTest, ParseTickAndSaveMatchTheOriginals) {
    RawRecoveryDialog* page = openRawPage();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(shownText(gui(), kRaw, RawRecoveryDialog::kStatus), app::rawtexts::kOpened);
    EXPECT_TRUE(pageControl<QCheckBox>(gui(), kRaw, RawRecoveryDialog::kLoadDefault)->isChecked());
    EXPECT_EQ(shownText(gui(), kRaw, RawRecoveryDialog::kRuleFile), page->defaultRulePath);
    for (const char* id : {RawRecoveryDialog::kProgress, RawRecoveryDialog::kPause, RawRecoveryDialog::kStop})
        EXPECT_TRUE(pageControl<QWidget>(gui(), kRaw, id)->isHidden()) << id;

    // Nothing found yet, nothing ticked.
    ASSERT_TRUE(click(gui(), kRaw, RawRecoveryDialog::kSave));
    EXPECT_TRUE(shown(app::rawtexts::kNothingTicked));

    // The default rules as shipped beside the executables; the field names them too.
    page->defaultRulePath = (fsys::path(TAVREL_BINARY_DIR) / "FileSetting.txt").string();
    gui().setText(kRaw, RawRecoveryDialog::kRuleFile, page->defaultRulePath);
    ASSERT_TRUE(click(gui(), kRaw, RawRecoveryDialog::kParse));
    ASSERT_TRUE(pumpUntil([&] { return shown("done.."); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(shownText(gui(), kRaw, RawRecoveryDialog::kStatus), app::rawtexts::kWorkerDone);
    EXPECT_FALSE(pageControl<QWidget>(gui(), kRaw, RawRecoveryDialog::kParse)->isEnabled());
    EXPECT_TRUE(pageControl<QWidget>(gui(), kRaw, RawRecoveryDialog::kBack)->isEnabled());
    EXPECT_TRUE(pageControl<QWidget>(gui(), kRaw, RawRecoveryDialog::kStop)->isHidden());

    auto* page151 = qobject_cast<ui::RawRecoveryPage*>(gui().pageWidget(kRaw));
    ASSERT_NE(page151, nullptr);
    QTreeWidget* tree = page151->tree();
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* top = tree->topLevelItem(0);
    EXPECT_EQ(top->text(0).toStdString(), app::rawtexts::kTreeTop);
    std::map<std::string, int> categories;
    for (int i = 0; i < top->childCount(); ++i) categories[top->child(i)->text(0).toStdString()] = i;
    for (const char* c : {"Pictures (2)", "Documents (1)", "Archives (1)", "Audio (1)", "Video (0)"})
        EXPECT_TRUE(categories.count(c)) << c;

    // A category lists its files; the top item lists none.
    tree->setCurrentItem(top->child(categories["Pictures (2)"]));
    auto* list = pageControl<QTreeWidget>(gui(), kRaw, RawRecoveryDialog::kList);
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(0).toStdString(), "4096 .jpg");
    EXPECT_EQ(list->topLevelItem(0)->text(1).toStdString(), "6.98 KB");  // the JPEG as carved
    // The preview pane shows the found file selected in the list, read from the volume.
    ui::PreviewPane& pane = *page151->previewPane();
    list->setCurrentItem(list->topLevelItem(0));
    ASSERT_TRUE(pumpUntil([&] { return pane.message() != QString::fromUtf8(app::texts::kPreviewReading); }));
    EXPECT_TRUE(pane.caption().startsWith(QStringLiteral("4096 .jpg")));
    EXPECT_TRUE(pane.showsPicture() || pane.message() == QString::fromUtf8(app::texts::kPreviewNoPicture));
    tree->setCurrentItem(top);
    EXPECT_EQ(list->topLevelItemCount(), 0);

    // Ticking the top item ticks every found file.
    top->setCheckState(0, Qt::Checked);
    ASSERT_TRUE(click(gui(), kRaw, RawRecoveryDialog::kSave));
    // The end says what was written; the question after it is answered No.
    ASSERT_TRUE(pumpUntil(
        [&] { return shown("work done\nFiles saved: 5 written, 0 partial, 0 failed.\nOpen the output folder?"); }));
    for (const PlacedFile& f : volume.files) {
        const std::string name = std::to_string(f.offset) + " ." + f.extension;
        const char* category = f.extension == "jpg" || f.extension == "png" ? "Pictures"
                               : f.extension == "pdf"                       ? "Documents"
                               : f.extension == "zip"                       ? "Archives"
                                                                            : "Audio";
        EXPECT_EQ(sha256File(dir / "out" / category / name), sha256Of(f.bytes)) << name;
    }
    ASSERT_TRUE(click(gui(), kRaw, RawRecoveryDialog::kBack));
    EXPECT_EQ(wizard->app().page(kRaw), nullptr);
}

TEST_F(RawRecoveryWizardTest, FoundFilesShowWhileTheCarveRuns) {
    RawRecoveryDialog* page = openRawPage();
    ASSERT_NE(page, nullptr);
    // The carve holds after the volume's first MiB (its first chunk), which
    // holds the JPEG, the PNG and the PDF; the ZIP and the WAV lie beyond.
    auto gated = std::make_unique<GatedReader>(std::move(wizard->app().currentReader),
                                               kVolumeSector * 512 + 1048576 + 4096);
    gate = gated.get();
    wizard->app().currentReader = std::move(gated);
    page->defaultRulePath = (fsys::path(TAVREL_BINARY_DIR) / "FileSetting.txt").string();
    gui().setText(kRaw, RawRecoveryDialog::kRuleFile, "");
    ASSERT_TRUE(click(gui(), kRaw, RawRecoveryDialog::kParse));

    QTreeWidget* tree = qobject_cast<ui::RawRecoveryPage*>(gui().pageWidget(kRaw))->tree();
    const auto category = [&](const std::string& prefix) -> QTreeWidgetItem* {
        QTreeWidgetItem* top = tree->topLevelItem(0);
        for (int i = 0; top && i < top->childCount(); ++i)
            if (top->child(i)->text(0).startsWith(QString::fromStdString(prefix))) return top->child(i);
        return nullptr;
    };
    ASSERT_TRUE(pumpUntil([&] { return category("Documents") && category("Documents")->childCount() == 1; }));
    EXPECT_TRUE(page->running());
    EXPECT_EQ(category("Pictures")->text(0).toStdString(), "Pictures (2)");
    EXPECT_EQ(category("Archives")->text(0).toStdString(), "Archives (0)");
    // The selected category's list shows its files; ticked, it ticks files found later.
    tree->setCurrentItem(category("Pictures"));
    auto* list = pageControl<QTreeWidget>(gui(), kRaw, RawRecoveryDialog::kList);
    EXPECT_EQ(list->topLevelItemCount(), 2);
    category("Archives")->setCheckState(0, Qt::Checked);

    gate->release();
    ASSERT_TRUE(pumpUntil([&] { return shown("done.."); }));
    QCoreApplication::processEvents();
    std::set<std::string> texts;
    for (const char* c : {"Pictures", "Documents", "Archives", "Audio"}) texts.insert(category(c)->text(0).toStdString());
    EXPECT_EQ(texts, (std::set<std::string>{"Pictures (2)", "Documents (1)", "Archives (1)", "Audio (1)"}));
    EXPECT_EQ(category("Pictures")->childCount(), 2);
    ASSERT_EQ(category("Archives")->childCount(), 1);
    EXPECT_EQ(category("Archives")->child(0)->checkState(0), Qt::Checked);
    EXPECT_TRUE(page->fileChecked(category("Archives")->child(0)->data(0, Qt::UserRole).toULongLong()));
}

TEST_F(RawRecoveryWizardTest, ParseWithoutRulesEndsEarlyAndLeavesBackUsable) {
    RawRecoveryDialog* page = openRawPage();
    ASSERT_NE(page, nullptr);
    page->defaultRulePath = (dir / "missing.txt").string();
    pageControl<QCheckBox>(gui(), kRaw, RawRecoveryDialog::kLoadDefault)->setChecked(false);
    gui().setText(kRaw, RawRecoveryDialog::kRuleFile, "");
    ASSERT_TRUE(click(gui(), kRaw, RawRecoveryDialog::kParse));
    EXPECT_TRUE(shown(app::rawtexts::kNoRules));
    EXPECT_EQ(shownText(gui(), kRaw, RawRecoveryDialog::kStatus), app::rawtexts::kNoScan);
    EXPECT_FALSE(pageControl<QWidget>(gui(), kRaw, RawRecoveryDialog::kParse)->isEnabled());
    ASSERT_TRUE(click(gui(), kRaw, RawRecoveryDialog::kBack));
    EXPECT_EQ(wizard->app().page(kRaw), nullptr);
}

TEST_F(RawRecoveryWizardTest, FreeSpaceOnlyIsRefusedWhenTheVolumeHasNoMap) {
    RawRecoveryDialog* page = openRawPage();
    ASSERT_NE(page, nullptr);
    auto* freeOnly = pageControl<QCheckBox>(gui(), kRaw, RawRecoveryDialog::kFreeOnly);
    ASSERT_NE(freeOnly, nullptr);
    EXPECT_FALSE(freeOnly->isChecked());
    EXPECT_EQ(freeOnly->toolTip().toStdString(), app::rawtexts::kFreeOnlyTip);
    freeOnly->setChecked(true);
    page->defaultRulePath = (fsys::path(TAVREL_BINARY_DIR) / "FileSetting.txt").string();
    gui().setText(kRaw, RawRecoveryDialog::kRuleFile, "");
    ASSERT_TRUE(click(gui(), kRaw, RawRecoveryDialog::kParse));
    // A volume treated as RAW has no file system to tell its free space.
    const std::string refusal = std::string(raw::texts::kNoFreeSpaceMap) + app::rawtexts::kClearFreeOnly;
    ASSERT_TRUE(pumpUntil([&] { return shown(refusal); })) << (messages.empty() ? "" : messages.back());
    EXPECT_TRUE(page->engine().found().empty());
    EXPECT_FALSE(freeOnly->isEnabled());
}

// A file picked with "..." that is no rule file is refused at once and keeps
// Parse off only until a rule file is picked; the rule file taken last comes
// back in the next run, from the settings.
TEST_F(RawRecoveryWizardTest, APickedFileThatIsNoRuleFileIsNoDeadEnd) {
    QCoreApplication::setOrganizationName(QStringLiteral("TavrelRawRuleFileTest"));
    TempDir store;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(store.path().string()));
    QSettings().clear();
    raw::RuleFields jpeg;
    jpeg.extension = "jpg";
    jpeg.startSignature = "0xFF,0xD8,0xFF";
    raw::SettingsRecord record;
    ASSERT_EQ(raw::recordFromFields(jpeg, record), "");
    const std::string rules = (dir / "mine.txt").string();
    ASSERT_EQ(raw::appendRecord(rules, record), "");
    writeFileBytes(dir / "notes.txt", std::vector<std::uint8_t>(100, 'x'));

    std::string picked;
    gui().keepSettings = true;
    gui().fileDialogHook = [&](const std::string&) { return picked; };
    RawRecoveryDialog* page = openRawPage();
    ASSERT_NE(page, nullptr);
    const auto parseEnabled = [&] { return pageControl<QWidget>(gui(), kRaw, RawRecoveryDialog::kParse)->isEnabled(); };
    picked = (dir / "notes.txt").string();
    ASSERT_TRUE(click(gui(), kRaw, RawRecoveryDialog::kBrowseRules));
    EXPECT_TRUE(shown(raw::texts::kInvalidFile));
    EXPECT_FALSE(parseEnabled());
    EXPECT_EQ(shownText(gui(), kRaw, RawRecoveryDialog::kStatus), app::rawtexts::kNotRuleFile);
    picked = rules;
    ASSERT_TRUE(click(gui(), kRaw, RawRecoveryDialog::kBrowseRules));
    EXPECT_TRUE(parseEnabled());
    EXPECT_EQ(shownText(gui(), kRaw, RawRecoveryDialog::kStatus), app::rawtexts::kRuleFileChosen);
    EXPECT_EQ(shownText(gui(), kRaw, RawRecoveryDialog::kRuleFile), rules);

    wizard = std::make_unique<ui::QtWizard>();
    wizard->gui().keepSettings = true;
    wizard->gui().messageHook = [this](const std::string& text, app::Buttons, app::Icon) {
        messages.push_back(text);
        return app::Answer::Ok;
    };
    ASSERT_NE(openRawPage(), nullptr);
    EXPECT_EQ(shownText(gui(), kRaw, RawRecoveryDialog::kRuleFile), rules);
    wizard.reset();
    QCoreApplication::setOrganizationName(QString());
}

}  // namespace
}  // namespace tavrel::test
