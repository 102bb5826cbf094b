// Common frame of every wizard page: the banner on top, the page's own controls in
// the middle, and the button row (Help menu, Back, Next) at the bottom. Pages add
// their controls to body() and register them by id; bindCommon() connects Next,
// Back and the Help menu to the controller.
#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <string>

#include "ui/qt/PageWidget.h"

namespace tavrel::ui {

class WizardPage : public PageWidget {
    Q_OBJECT
public:
    // hasBack: the first page has no Back.
    explicit WizardPage(int pageId, bool hasBack = true, QWidget* parent = nullptr);

protected:
    QVBoxLayout* body() const { return body_; }

    // Registers widget under id and returns it.
    template <typename W>
    W* reg(const std::string& id, W* widget) {
        registerControl(id, widget);
        return widget;
    }

    // A status line ("status") and a progress bar ("progress") with its "Stop"
    // button ("stop"), both hidden until a job runs; added to body().
    QLabel* addStatusLine();
    QProgressBar* addProgressRow();

    // Next, Back, Help menu items, and Stop when the page has it.
    void bindCommon(app::PageController& controller);
    // Connects a button's click to controller.command(id).
    void bindCommand(app::PageController& controller, const std::string& id);

private:
    QVBoxLayout* body_;
};

}  // namespace tavrel::ui
