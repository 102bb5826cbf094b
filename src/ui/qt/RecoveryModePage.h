// Widgets of the recovery mode page (136).
#pragma once

#include <memory>

#include "ui/qt/WizardPage.h"

namespace tavrel::ui {

class RecoveryModePage : public WizardPage {
    Q_OBJECT
public:
    RecoveryModePage();
    void bind(app::PageController& controller) override;
};

std::unique_ptr<PageWidget> makeRecoveryModePageWidget();

}  // namespace tavrel::ui
