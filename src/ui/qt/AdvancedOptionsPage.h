// Widgets of the advanced options page (153).
#pragma once

#include <memory>

#include "ui/qt/WizardPage.h"

namespace tavrel::ui {

class AdvancedOptionsPage : public WizardPage {
    Q_OBJECT
public:
    AdvancedOptionsPage();
    void bind(app::PageController& controller) override;
};

std::unique_ptr<PageWidget> makeAdvancedOptionsPageWidget();

}  // namespace tavrel::ui
