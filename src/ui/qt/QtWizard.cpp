#include "ui/qt/QtWizard.h"

#include "app/Startup.h"

// The resources live in the ui_qt static library: register them explicitly.
static void initResources() { Q_INIT_RESOURCE(tavrel); }

namespace tavrel::ui {

QtWizard::QtWizard() : gui_(window_), app_(std::make_unique<app::CKeswinApp>(gui_)) {
    initResources();
    app_->onPageCreated = [this](app::PageController& page) { gui_.bindPage(page); };
    window_.onClose = [this] {
        if (app::PageController* page = app_->visiblePage()) page->close();
    };
    window_.onExit = [this] {
        if (app::PageController* page = app_->visiblePage()) page->exitApp();
    };
}

QtWizard::~QtWizard() {
    // Pages (and their workers) go before the Gui and the window they use.
    app_.reset();
}

bool QtWizard::start(bool anotherInstance, const std::string& imagePath) {
    if (!app::startWizard(*app_, anotherInstance, imagePath)) return false;
    window_.show();
    return true;
}

}  // namespace tavrel::ui
