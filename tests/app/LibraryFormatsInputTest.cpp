// The image selection page on VHDX, qcow2 and E01 images: the version and size
// fields and the details line (format and what the format records), and the
// request for a valid file of the kind a name promises.
#include <gtest/gtest.h>

#include "app/CKeswinApp.h"
#include "app/FakeGui.h"
#include "app/Startup.h"
#include "app/VhdInputDialog.h"
#include "image/ImageTexts.h"
#include "support/LibraryImages.h"

namespace tavrel::test {
namespace {

using app::VhdInputDialog;
constexpr int kPage = app::kImageSelectionPage;

TEST(LibraryFormatsInput, BrowsingDescribesTheImage) {
    const LibraryImages* made = libraryImages("ntfs/ntfs-mbr.vhd.xz");
    if (!made) GTEST_SKIP() << "qemu-img, ewfacquire, python3 or a format's library missing";
    const std::string md5 = runCommand("md5sum " + shellQuote(made->raw.string())).out.substr(0, 32);
    struct Case {
        std::filesystem::path image;
        const char* version;
        std::string details;
    };
    for (const Case& c : {Case{made->images[0].path, "1.0", "vhdx-dynamic; Logical sector size: 512"},
                          Case{made->images[4].path, "2", "qcow2; Snapshots: 0"},
                          Case{made->images[6].path, "e01",
                               "e01; EWF format: EnCase 6; Segment files: 4; Case number: Case 42; Evidence number: "
                               "EV-7; Examiner: Jane Roe; Description: test disk; Notes: made by the tests; Acquired: "},
                          Case{made->child, "1.0", "vhdx-differencing; Logical sector size: 512; Parent image: "}}) {
        SCOPED_TRACE(c.image.string());
        FakeGui gui;
        app::CKeswinApp app{gui};
        ASSERT_TRUE(app::startWizard(app, false));
        auto* page = dynamic_cast<VhdInputDialog*>(app.visiblePage());
        ASSERT_NE(page, nullptr);
        gui.queueFile(c.image.string());
        page->command(VhdInputDialog::kBrowse);
        EXPECT_TRUE(gui.messages().empty()) << gui.lastMessage();
        EXPECT_EQ(gui.textOf(kPage, "version"), c.version);
        EXPECT_EQ(gui.textOf(kPage, "size"), "26 MB");
        const std::string details = gui.textOf(kPage, "details");
        EXPECT_EQ(details.substr(0, c.details.size()), c.details);
        if (c.version == std::string("e01")) {
            EXPECT_NE(details.find("; Stored MD5: " + md5), std::string::npos);
        }
        EXPECT_TRUE(gui.visible(kPage, "details"));
        page->next();
        EXPECT_EQ(app.visiblePage()->pageId(), app::kScanModePage);
    }
}

TEST(LibraryFormatsInput, NamedLikeOneButNotOneAsksForAValidFile) {
    TempDir dir;
    FakeGui gui;
    app::CKeswinApp app{gui};
    ASSERT_TRUE(app::startWizard(app, false));
    auto* page = dynamic_cast<VhdInputDialog*>(app.visiblePage());
    ASSERT_NE(page, nullptr);
    for (const auto& [name, text] : {std::pair{"x.vhdx", imagetexts::kNotVhdxText},
                                     std::pair{"x.qcow2", imagetexts::kNotQcowText},
                                     std::pair{"x.E01", imagetexts::kNotE01Text}}) {
        writeFileBytes(dir / name, std::vector<std::uint8_t>(1000, 'x'));  // not even whole sectors
        gui.clearMessages();
        gui.queueFile((dir / name).string());
        page->command(VhdInputDialog::kBrowse);
        // The request first; why, on the line after it.
        EXPECT_EQ(gui.lastMessage().substr(0, gui.lastMessage().find('\n')), text) << name;
    }
}

}  // namespace
}  // namespace tavrel::test
