// Widgets of the image selection page (142). The path can be typed or pasted,
// and an image file dropped on the page is taken as if browsed to.
#pragma once

#include "ui/qt/WizardPage.h"

namespace tavrel::app {
class VhdInputDialog;
}  // namespace tavrel::app

namespace tavrel::ui {

class ImageSelectionPage : public WizardPage {
    Q_OBJECT
public:
    ImageSelectionPage();
    void bind(app::PageController& controller) override;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    app::VhdInputDialog* controller_ = nullptr;
};

}  // namespace tavrel::ui
