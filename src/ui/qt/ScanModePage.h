// Widgets of the scan mode page (152): scan choice and disk image export.
#pragma once

#include "ui/qt/WizardPage.h"

namespace tavrel::ui {

class ScanModePage : public WizardPage {
    Q_OBJECT
public:
    ScanModePage();
    void bind(app::PageController& controller) override;
};

}  // namespace tavrel::ui
