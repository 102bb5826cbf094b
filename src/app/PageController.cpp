#include "app/PageController.h"

#include "app/CKeswinApp.h"
#include "app/PageTexts.h"

namespace tavrel::app {

Gui& PageController::gui() { return app_.gui(); }

void PageController::back() {
    // Destroys this object: nothing may touch members after the call.
    app_.back();
}

void PageController::help(int item) {
    switch (item) {
    case 0:
        gui().openManual(kManualContents);
        break;
    case 1:
        gui().openManual(kManualAbout);
        break;
    case 2:
        gui().showAbout();
        break;
    default:
        break;
    }
}

void PageController::close() {
    // The first page asks with the information icon, every later page with the question icon.
    const Icon icon = pageId_ == kImageSelectionPage ? Icon::Information : Icon::Question;
    if (gui().messageBox(texts::kCloseQuestion, Buttons::YesNo, icon) == Answer::Yes) exitApp();
}

void PageController::exitApp() {
    // Destroys every page, this one included.
    app_.exit();
}

}  // namespace tavrel::app
