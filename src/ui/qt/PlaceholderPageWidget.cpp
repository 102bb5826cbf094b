#include "ui/qt/PlaceholderPageWidget.h"

namespace tavrel::ui {

PlaceholderPageWidget::PlaceholderPageWidget(int pageId, const QString& heading) : WizardPage(pageId) {
    auto* title = new QLabel(heading, this);
    QFont font = title->font();
    font.setBold(true);
    title->setFont(font);
    body()->addWidget(title);
    body()->addWidget(reg("volume", new QLabel(this)));
    body()->addWidget(new QLabel(tr("This page is not available in this version. Use Back to choose another way."), this));
    body()->addStretch(1);
}

void PlaceholderPageWidget::bind(app::PageController& controller) { bindCommon(controller); }

}  // namespace tavrel::ui
