// The application object: the state the pages share and the page stack that
// realises the wizard's forward and back steps.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Gui.h"
#include "app/PageController.h"
#include "image/readWriteInterface.h"

namespace tavrel::app {

class CKeswinApp {
public:
    explicit CKeswinApp(Gui& gui);
    ~CKeswinApp();

    Gui& gui() { return gui_; }

    // Shared state.
    std::unique_ptr<readWriteInterface> currentReader;  // replaced, never shared
    std::uint64_t totalSectors = 0;
    int imageMarker = 0;            // 142 once an image was chosen as a dynamic disk
    bool driveFormatted = false;
    std::string searchText;
    std::string rootName = "ROOT";
    std::string imagePath;          // the image selection page's path field
    int imageKind = 0;              // 0 nothing read, 1 dynamic VHD, 2 VDI, 3 VMDK

    // Installs a fresh reader on imagePath, chosen by the image's content
    // (destroying the one before), and updates totalSectors. False (reader left
    // null) when it cannot be opened.
    bool installReader();

    // Page stack. start() opens the first page. forward() makes `page` the child of
    // the visible page: records creatorPageId, creates and binds its widget, opens
    // it, shows it and hides the creator. back() shows the creator and destroys
    // the visible page (after its shutdown()).
    void start(std::unique_ptr<PageController> first);
    PageController& forward(std::unique_ptr<PageController> page);
    void back();
    // Ends the application: shuts every page down (top first), then quits.
    void exit();

    PageController* visiblePage();
    PageController* page(int pageId);  // a live page by id, or nullptr

    // The front end's hook to bind a page's widgets once its controller exists.
    std::function<void(PageController&)> onPageCreated;

private:
    Gui& gui_;
    std::vector<std::unique_ptr<PageController>> pages_;  // bottom = first page
};

}  // namespace tavrel::app
