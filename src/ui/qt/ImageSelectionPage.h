// Widgets of the image selection page (142).
#pragma once

#include "ui/qt/WizardPage.h"

namespace tavrel::ui {

class ImageSelectionPage : public WizardPage {
    Q_OBJECT
public:
    ImageSelectionPage();
    void bind(app::PageController& controller) override;
};

}  // namespace tavrel::ui
