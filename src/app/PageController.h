// Base of every wizard page's controller: the page's behaviour over the abstract
// Gui. The front end binds each control of the page to one entry point.
// docs/pages.md names each page's controller and its Qt widget.
#pragma once

#include <string>

#include "app/Gui.h"

namespace tavrel::app {

class CKeswinApp;

class PageController {
public:
    PageController(CKeswinApp& app, int pageId) : app_(app), pageId_(pageId) {}
    virtual ~PageController() = default;
    PageController(const PageController&) = delete;
    PageController& operator=(const PageController&) = delete;

    int pageId() const { return pageId_; }
    int creatorPageId = 0;  // the page that created this one (0 for the first page)

    // Initialise the page's controls (title, button faces, initial states).
    virtual void open() = 0;
    virtual void next() {}
    virtual void back();  // show the creator, destroy this page
    // Any other control of the page: buttons, radio buttons, check boxes, list
    // selection changes, by the control's id.
    virtual void command(const std::string& /*controlId*/) {}
    // Help menu: 0 "Help", 1 "Software Homepage", 2 "About".
    virtual void help(int item);
    // Window close box / Escape: asks "Do you want to Close Application ?".
    virtual void close();
    // Exit: stop what this page owns (see each page), then end the application.
    virtual void exitApp();
    // Pages with a worker.
    virtual void pause() {}
    virtual void resume() {}
    virtual void stop() {}
    // Called before the page object is destroyed (Back or Exit): stop and join
    // any worker the page owns.
    virtual void shutdown() {}

protected:
    Gui& gui();
    CKeswinApp& app_;
    int pageId_;
};

}  // namespace tavrel::app
