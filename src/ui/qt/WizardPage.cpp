#include "ui/qt/WizardPage.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QMenu>
#include <QPixmap>

#include "app/PageController.h"

namespace tavrel::ui {

WizardPage::WizardPage(int pageId, bool hasBack, QWidget* parent) : PageWidget(pageId, parent) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 8);

    auto* banner = new QLabel(this);
    banner->setPixmap(QPixmap(QStringLiteral(":/banner.png")));
    banner->setScaledContents(true);
    banner->setFixedHeight(64);
    banner->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    outer->addWidget(banner);

    body_ = new QVBoxLayout;
    body_->setContentsMargins(16, 8, 16, 8);
    outer->addLayout(body_, 1);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(16, 0, 16, 0);
    auto* help = reg("help", new QPushButton(tr("&Help"), this));
    auto* menu = new QMenu(help);
    menu->addAction(tr("Help"))->setObjectName(QStringLiteral("helpItem0"));
    menu->addAction(tr("Software Homepage"))->setObjectName(QStringLiteral("helpItem1"));
    menu->addAction(tr("About"))->setObjectName(QStringLiteral("helpItem2"));
    help->setMenu(menu);
    buttons->addWidget(help);
    buttons->addStretch(1);
    // Alt+B and Alt+N as in other wizards (the labels show their exact texts,
    // the letter underlined).
    auto* back = reg("back", new QPushButton(tr("&Back"), this));
    back->setVisible(hasBack);
    buttons->addWidget(back);
    auto* next = reg("next", new QPushButton(tr("&Next"), this));
    buttons->addWidget(next);
    outer->addLayout(buttons);
}

QLabel* WizardPage::addStatusLine() {
    auto* status = reg("status", new QLabel(this));
    status->setWordWrap(true);
    status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    body_->addWidget(status);
    return status;
}

QProgressBar* WizardPage::addProgressRow() {
    auto* row = new QHBoxLayout;
    auto* progress = reg("progress", new QProgressBar(this));
    progress->setVisible(false);
    row->addWidget(progress, 1);
    auto* stop = reg("stop", new QPushButton(tr("Stop"), this));
    stop->setVisible(false);
    row->addWidget(stop);
    body_->addLayout(row);
    return progress;
}

void WizardPage::bindCommon(app::PageController& controller) {
    auto* c = &controller;
    if (auto* next = qobject_cast<QAbstractButton*>(control("next")))
        connect(next, &QAbstractButton::clicked, this, [c] { c->next(); });
    if (auto* back = qobject_cast<QAbstractButton*>(control("back")))
        connect(back, &QAbstractButton::clicked, this, [c] { c->back(); });
    if (auto* stop = qobject_cast<QAbstractButton*>(control("stop")))
        connect(stop, &QAbstractButton::clicked, this, [c] { c->stop(); });
    if (auto* help = qobject_cast<QPushButton*>(control("help"))) {
        const auto actions = help->menu()->actions();
        for (int i = 0; i < actions.size(); ++i)
            connect(actions[i], &QAction::triggered, this, [c, i] { c->help(i); });
    }
}

void WizardPage::bindCommand(app::PageController& controller, const std::string& id) {
    auto* c = &controller;
    if (auto* button = qobject_cast<QAbstractButton*>(control(id)))
        connect(button, &QAbstractButton::clicked, this, [c, id] { c->command(id); });
}

}  // namespace tavrel::ui
