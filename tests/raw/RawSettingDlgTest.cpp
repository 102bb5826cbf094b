// The Setting page's logic over a recording Gui: the chosen rule file is
// extended, never emptied; each Save appends one record or says why not.
#include <gtest/gtest.h>

#include "app/FakeGui.h"
#include "app/RawSettingDlg.h"
#include "raw/RuleTexts.h"
#include "support/TestSupport.h"

namespace tavrel::test {
namespace {

TEST(RawSettingDlg, AppendsToTheChosenFileAndRefusesWhatItCannotHold) {
    FakeGui gui;
    app::RawSettingDlg page(gui);
    raw::RuleFields jpeg;
    jpeg.extension = "jpeg";
    jpeg.startSignature = "0xFF,0xD8,0xFF";

    EXPECT_FALSE(page.save(jpeg));
    EXPECT_EQ(gui.lastMessage(), raw::texts::kNoFileChosen);
    EXPECT_FALSE(page.chooseFile(""));
    EXPECT_EQ(gui.lastMessage(), raw::texts::kFileNotCreated);

    TempDir dir;
    const auto file = dir / "rules.txt";
    writeFileBytes(file, std::vector<std::uint8_t>(raw::kRecordSize, 0x11));  // one rule already there
    ASSERT_TRUE(page.chooseFile(file.string()));
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(page.save(jpeg));
        EXPECT_EQ(gui.lastMessage(), raw::texts::kAppended);
    }
    raw::RuleFields noExtension = jpeg;
    noExtension.extension = "";
    EXPECT_FALSE(page.save(noExtension));
    EXPECT_EQ(gui.lastMessage(), raw::texts::kNoExtension);

    const auto bytes = readFileBytes(file);
    ASSERT_EQ(bytes.size(), 4 * raw::kRecordSize);
    EXPECT_EQ(bytes[0], 0x11);
    for (std::size_t i = 1; i < 4; ++i) EXPECT_EQ(bytes[i * raw::kRecordSize + 35], i);
}

}  // namespace
}  // namespace tavrel::test
