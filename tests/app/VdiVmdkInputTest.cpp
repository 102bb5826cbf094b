// The image selection page on VDI and VMDK images: their information is shown,
// the kind follows the content, and a file named like one but holding nothing
// readable gets the request for a valid file of that kind.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/CKeswinApp.h"
#include "app/FakeGui.h"
#include "app/Startup.h"
#include "app/VhdInputDialog.h"
#include "support/ConvertedImages.h"

namespace tavrel::test {
namespace {

using app::VhdInputDialog;
constexpr int kPage = app::kImageSelectionPage;

TEST(VdiVmdkInput, BrowsingShowsEachKindsInformation) {
    const ConvertedImages* made = convertedImages("ntfs/ntfs-mbr.vhd.xz");
    if (!made) GTEST_SKIP() << "qemu-img not available";
    struct Case {
        const char* layout;
        int kind;
        const char* version;
        const char* head;
    };
    for (const Case& c : {Case{"dynamic.vdi", 2, "65537", "0"}, Case{"monolithicSparse", 3, "1", "16"},
                          Case{"twoGbMaxExtentFlat", 3, "1", "16"}, Case{"renamed monolithicSparse", 3, "1", "16"}}) {
        SCOPED_TRACE(c.layout);
        const auto image = std::find_if(made->images.begin(), made->images.end(),
                                        [&c](const ConvertedImage& i) { return i.layout == c.layout; });
        ASSERT_NE(image, made->images.end());
        FakeGui gui;
        app::CKeswinApp app{gui};
        ASSERT_TRUE(app::startWizard(app, false));
        auto* page = dynamic_cast<VhdInputDialog*>(app.visiblePage());
        ASSERT_NE(page, nullptr);
        gui.queueFile(image->path.string());
        page->command(VhdInputDialog::kBrowse);
        EXPECT_TRUE(gui.messages().empty()) << gui.lastMessage();
        EXPECT_EQ(page->imageKind(), c.kind);
        EXPECT_EQ(app.imageKind, c.kind);
        EXPECT_EQ(gui.textOf(kPage, "version"), c.version);
        EXPECT_EQ(gui.textOf(kPage, "head"), c.head);
        EXPECT_EQ(gui.textOf(kPage, "size"), "26 MB");
        EXPECT_TRUE(gui.visible(kPage, "size"));
        EXPECT_EQ(app.currentReader, nullptr);
        // Next installs the reader the content calls for.
        page->next();
        ASSERT_EQ(app.visiblePage()->pageId(), app::kScanModePage);
    }
}

TEST(VdiVmdkInput, NamedLikeAnImageButNotOneAsksForAValidFile) {
    TempDir dir;
    FakeGui gui;
    app::CKeswinApp app{gui};
    ASSERT_TRUE(app::startWizard(app, false));
    auto* page = dynamic_cast<VhdInputDialog*>(app.visiblePage());
    ASSERT_NE(page, nullptr);
    for (const auto& [name, text] :
         {std::pair{"x.vdi", "Please select valid vdi file to continue the recovery process."},
          std::pair{"x.VMDK", "Please select valid vmdk file to continue the recovery process."}}) {
        writeFileBytes(dir / name, std::vector<std::uint8_t>(1000, 'x'));  // not even whole sectors
        gui.clearMessages();
        gui.queueFile((dir / name).string());
        page->command(VhdInputDialog::kBrowse);
        // The request first; why, on the line after it.
        EXPECT_EQ(gui.lastMessage().substr(0, gui.lastMessage().find('\n')), text);
    }
}

}  // namespace
}  // namespace tavrel::test
