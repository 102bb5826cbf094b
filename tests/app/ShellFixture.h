// A wizard over the recording Gui, with steps to walk it to a page.
#pragma once

#include <gtest/gtest.h>

#include "app/CKeswinApp.h"
#include "app/DriveParsingModes.h"
#include "app/FakeGui.h"
#include "app/PopulateDriveDlg.h"
#include "app/ShellVhdBuilder.h"
#include "app/Startup.h"
#include "app/VhdInputDialog.h"
#include "support/TestSupport.h"

namespace tavrel::test {

class ShellFixture : public ::testing::Test {
protected:
    static constexpr int kImagePage = app::kImageSelectionPage;
    static constexpr int kModePage = app::kScanModePage;
    static constexpr int kListPage = app::kVolumeListPage;

    std::filesystem::path makeImage(const VhdSpec& spec, const std::string& name = "disk.vhd") {
        const auto path = dir / name;
        writeDynamicVhd(path, spec);
        return path;
    }

    // Starts the wizard with path preselected and goes Next to the scan mode page.
    app::DriveParsingModes& toScanMode(const std::filesystem::path& path) {
        EXPECT_TRUE(app::startWizard(wizard, false, path.string()));
        wizard.visiblePage()->next();
        auto* page = dynamic_cast<app::DriveParsingModes*>(wizard.visiblePage());
        EXPECT_NE(page, nullptr);
        return *page;
    }

    // What a click on a radio button or check box does: the toolkit changes the
    // state, then the page reacts.
    void click(int pageId, const char* id, bool checked = true) {
        gui.userSetChecked(pageId, id, checked);
        wizard.visiblePage()->command(id);
    }

    app::PopulateDriveDlg& toVolumeList(const std::filesystem::path& path, bool advanced = false) {
        app::DriveParsingModes& modes = toScanMode(path);
        if (advanced) {
            gui.userSetChecked(kModePage, app::DriveParsingModes::kStandardScan, false);
            click(kModePage, app::DriveParsingModes::kAdvanceScan);
        }
        modes.next();
        auto* page = dynamic_cast<app::PopulateDriveDlg*>(wizard.visiblePage());
        EXPECT_NE(page, nullptr);
        return *page;
    }

    bool finishScan(app::PopulateDriveDlg& page) {
        return gui.runPostedUntil([&page] { return !page.scanning(); });
    }

    std::vector<std::string> column(int pageId, const char* list, std::size_t c) const {
        std::vector<std::string> cells;
        for (const auto& row : gui.rows(pageId, list)) cells.push_back(row.at(c));
        return cells;
    }

    TempDir dir;
    FakeGui gui;
    app::CKeswinApp wizard{gui};
};

}  // namespace tavrel::test
