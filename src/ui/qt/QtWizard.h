// The whole desktop wizard: its window, the Qt Gui and the application object,
// wired together. main() and the UI tests both start it through here.
#pragma once

#include <memory>
#include <string>

#include "app/CKeswinApp.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/QtGui.h"

namespace tavrel::ui {

class QtWizard {
public:
    QtWizard();
    ~QtWizard();

    // Refuses (after telling the user) when another instance runs; otherwise opens
    // the image selection page, preselecting imagePath when given, and shows the window.
    bool start(bool anotherInstance, const std::string& imagePath = {});

    MainWindow& window() { return window_; }
    QtGui& gui() { return gui_; }
    app::CKeswinApp& app() { return *app_; }

private:
    MainWindow window_;
    QtGui gui_;
    std::unique_ptr<app::CKeswinApp> app_;  // destroyed first: its pages' workers use the Gui
};

}  // namespace tavrel::ui
