// Shared helpers of the Qt tests: one QApplication for the test binary (offscreen
// platform when none is set), event pumping, and widget lookup on a page.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>

#include <cstdlib>
#include <functional>
#include <string>

#include "ui/qt/PageWidget.h"
#include "ui/qt/QtGui.h"

namespace tavrel::test {

inline QApplication& qtApp() {
    static int argc = 1;
    static char name[] = "test_ui";
    static char* argv[] = {name, nullptr};
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Never destroyed: tearing Qt down among the other static destructors at exit
    // crashes inside Qt's post routines. It stays reachable, so no leak is reported.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// Processes events until done() holds; false after a generous bound (a hang
// fails the test instead of stalling the suite).
inline bool pumpUntil(const std::function<bool()>& done, int maxMillis = 60000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > maxMillis) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

template <typename W>
W* pageControl(ui::QtGui& gui, int pageId, const std::string& id) {
    ui::PageWidget* page = gui.pageWidget(pageId);
    return page ? qobject_cast<W*>(page->control(id)) : nullptr;
}

// The text a page's line edit or label shows ("" when there is no such control).
inline std::string shownText(ui::QtGui& gui, int pageId, const std::string& id) {
    if (auto* edit = pageControl<QLineEdit>(gui, pageId, id)) return edit->text().toStdString();
    if (auto* label = pageControl<QLabel>(gui, pageId, id)) return label->text().toStdString();
    return {};
}

inline bool click(ui::QtGui& gui, int pageId, const std::string& id) {
    auto* button = pageControl<QAbstractButton>(gui, pageId, id);
    if (!button || !button->isEnabled()) return false;
    button->click();
    return true;
}

}  // namespace tavrel::test
