// Widgets of the volume list page (134).
#pragma once

#include "ui/qt/WizardPage.h"

namespace tavrel::ui {

class VolumeListPage : public WizardPage {
    Q_OBJECT
public:
    VolumeListPage();
    void bind(app::PageController& controller) override;
};

}  // namespace tavrel::ui
