// Widgets of a page that only offers Back: for a page whose own widgets do not
// exist yet (every page of the wizard has its own today).
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
