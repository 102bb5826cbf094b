// Widgets of a page that only offers Back: the raw recovery page (151) until its
// own widgets exist.
#pragma once

#include "ui/qt/WizardPage.h"

namespace tavrel::ui {

class PlaceholderPageWidget : public WizardPage {
    Q_OBJECT
public:
    PlaceholderPageWidget(int pageId, const QString& heading);
    void bind(app::PageController& controller) override;
};

}  // namespace tavrel::ui
