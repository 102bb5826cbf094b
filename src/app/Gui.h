// The screen as the page controllers see it: the GUI operations the wizard needs,
// with no toolkit behind them. ui/qt implements it with widgets; tests implement
// it with a recording fake. Controls are named per page by short ids (see each
// controller's header for the ids it uses).
//
// Threads: controllers call these on the interface thread, except that workers may
// call setText, setProgressRange, setProgressPosition and post; implementations
// marshal those to the interface thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tavrel::app {

inline constexpr const char* kAppTitle = "Tavrel v3.02";
inline constexpr const char* kAppVersion = "3.02";
// Pages of the manual that ships with the application: its contents, and the
// about page that stands for the software's home page.
inline constexpr const char* kManualContents = "index.html";
inline constexpr const char* kManualAbout = "about.html";

// Page ids: the identifiers of the wizard's pages, with their controllers
// (docs/pages.md pairs each with its widget in src/ui/qt/).
enum PageId : int {
    kImageSelectionPage = 142,   // VhdInputDialog
    kScanModePage = 152,         // DriveParsingModes
    kVolumeListPage = 134,       // PopulateDriveDlg
    kRecoveryModePage = 136,     // ParceModeNtfsDlg
    kAdvancedOptionsPage = 153,  // advanceOptions
    kScanPage = 139,             // VolumeScanDlg
    kRawRecoveryPage = 151,      // RawRecoveryDialog
};

enum class Icon { Information, Question };
enum class Buttons { Ok, YesNo };
enum class Answer { Ok, Yes, No };

class Gui {
public:
    virtual ~Gui() = default;

    // Message box captioned kAppTitle.
    virtual Answer messageBox(const std::string& text, Buttons buttons = Buttons::Ok,
                              Icon icon = Icon::Information) = 0;

    // Pages: create (as the child of the visible page), show, hide, destroy.
    virtual void createPage(int pageId) = 0;
    virtual void showPage(int pageId) = 0;
    virtual void hidePage(int pageId) = 0;
    virtual void destroyPage(int pageId) = 0;
    virtual void setWindowTitle(int pageId, const std::string& title) = 0;

    // Controls of a page.
    virtual void setEnabled(int pageId, const std::string& control, bool enabled) = 0;
    virtual void setVisible(int pageId, const std::string& control, bool visible) = 0;
    virtual void setText(int pageId, const std::string& control, const std::string& text) = 0;
    virtual std::string text(int pageId, const std::string& control) const = 0;
    virtual void setChecked(int pageId, const std::string& control, bool checked) = 0;
    virtual bool isChecked(int pageId, const std::string& control) const = 0;

    // List views (the volume list): rows of cell texts.
    virtual void listClear(int pageId, const std::string& control) = 0;
    virtual int listAddRow(int pageId, const std::string& control, const std::vector<std::string>& cells) = 0;
    virtual int listSelectedRow(int pageId, const std::string& control) const = 0;  // -1 when none
    virtual void listSelectRow(int pageId, const std::string& control, int row) = 0;

    // Combo boxes.
    virtual void comboSetItems(int pageId, const std::string& control, const std::vector<std::string>& items) = 0;

    // Progress bar of a page.
    virtual void setProgressRange(int pageId, std::int64_t lower, std::int64_t upper) = 0;
    virtual void setProgressPosition(int pageId, std::int64_t position) = 0;

    // Standard dialogs: empty string when cancelled.
    virtual std::string openFileDialog(const std::string& filter) = 0;
    virtual std::string chooseFolderDialog(const std::string& title) = 0;

    virtual void setWaitCursor(bool waiting) = 0;
    // False when the desktop has no program for the address.
    virtual bool openUrl(const std::string& url) = 0;
    // Opens a page of the shipped manual (kManualContents, kManualAbout).
    virtual void openManual(const std::string& page) = 0;
    virtual void showAbout() = 0;
    virtual void quit() = 0;

    // Runs fn on the interface thread (queued); used by workers to finish a job.
    virtual void post(std::function<void()> fn) = 0;
};

}  // namespace tavrel::app
