// The scan page with the real FAT16 parser on a fixture made by mkfs.fat and
// mtools: the scan, the lower-case count question, and the saved folder compared
// with the hashes the fixture script took from the original files.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "app/CKeswinApp.h"
#include "app/FakeGui.h"
#include "app/VolumeScanDlg.h"
#include "image/FileReadSeekVHD.h"
#include "support/TestSupport.h"

namespace tavrel::test {
namespace {

namespace fsys = std::filesystem;
using app::VolumeScanDlg;
constexpr int kPage = app::kScanPage;

// path -> sha256, from "<sha256> <mtime> <path>" lines.
std::map<std::string, std::string> originals(const fsys::path& listing) {
    std::map<std::string, std::string> hashes;
    std::ifstream in(listing);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        std::string sha, mtime, path;
        s >> sha >> mtime;
        std::getline(s >> std::ws, path);
        if (!path.empty()) hashes[path] = sha;
    }
    return hashes;
}

TEST(ScanPageFat, Fat16FolderSavedWithTheLowerCaseQuestion) {
    if (!fsys::exists(fixturePath("fat/fat16.vhd.xz")) || !haveTool("xz")) GTEST_SKIP() << "no FAT16 fixture";
    const fsys::path image = unpackedFixture("fat/fat16.vhd.xz");
    const std::string imageSha = sha256File(image);
    const auto hashes = originals(fixturePath("fat/fat16.files"));

    FakeGui gui;
    app::CKeswinApp app(gui);
    auto reader = std::make_unique<FileReadSeekVHD>();
    ASSERT_TRUE(reader->open(image.string()));
    app.currentReader = std::move(reader);
    VolumeRecord record;
    record.fsName = "FAT16";
    record.volumeName = "0";
    record.sizeMiBText = "24 MB";
    record.startSector = 2048;
    record.sectorCount = 51199 - 2048 + 1;
    auto& page = dynamic_cast<VolumeScanDlg&>(app.forward(std::make_unique<VolumeScanDlg>(app, record, 1, 3, false)));
    ASSERT_TRUE(gui.runPostedUntil([&] { return !page.running(); }));
    ASSERT_EQ(gui.lastMessage(), "Scanning processing done.Select save button to save the data.");
    // No status text of the NTFS or HFS+ kind on open for a FAT volume.
    const auto status = gui.textHistory(kPage, VolumeScanDlg::kStatus);
    ASSERT_FALSE(status.empty());
    EXPECT_NE(status.front(), "ntfs partition selected....");

    app::EntryTree::Node* docs = nullptr;
    for (auto& c : page.tree().top()->children)
        if (c->text == "docs") docs = c.get();
    ASSERT_NE(docs, nullptr);
    ASSERT_TRUE(page.treeSelected(*docs));

    TempDir out;
    gui.queueFolder(out.path().string());
    gui.queueAnswer(app::Answer::Yes);
    page.command(VolumeScanDlg::kSave);
    ASSERT_TRUE(gui.runPostedUntil([&] { return !page.running(); }));
    const auto messages = gui.messageTexts();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[messages.size() - 2],
              "number of files found inside this folder = 3 .Do you want to continue dumping these files..?");
    // The deleted old-draft.txt is saved too; its clusters are free.
    EXPECT_EQ(messages.back(),
              "work done\nFiles saved: 3 written, 0 incomplete, 0 failed.\n"
              "Deleted files saved: 1 intact, 0 partly overwritten, 0 overwritten, 0 unknown.\n"
              "Open the output folder?");
    for (const char* path : {"guide.txt", "deep/deeper/bottom.bin"}) {
        const std::string original = std::string("docs/") + path;
        ASSERT_TRUE(hashes.count(original)) << original;
        EXPECT_EQ(sha256File(out.path() / path), hashes.at(original)) << path;
    }
    EXPECT_TRUE(fsys::exists(out.path() / "old-draft.txt"));  // deleted, written too
    EXPECT_EQ(sha256File(image), imageSha);                   // the image is never written
}

}  // namespace
}  // namespace tavrel::test
