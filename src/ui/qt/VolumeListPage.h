// Widgets of the volume list page (134).
#pragma once

#include "ui/qt/WizardPage.h"

namespace tavrel::ui {

class VolumeListPage : public WizardPage {
    Q_OBJECT
public:
    VolumeListPage();
    void bind(app::PageController& controller) override;

protected:
    // The list takes the keyboard when the page shows: arrows choose a volume.
    void showEvent(QShowEvent* event) override;
};

}  // namespace tavrel::ui
