#include "ui/qt/ManualWindow.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QKeyEvent>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace tavrel::ui {

ManualWindow::ManualWindow(QWidget* parent) : QWidget(parent, Qt::Window), browser_(new QTextBrowser(this)) {
    setObjectName(QStringLiteral("manualWindow"));
    setWindowTitle(tr("Tavrel manual"));
    browser_->setObjectName(QStringLiteral("manualText"));
    browser_->setOpenExternalLinks(true);

    auto* back = new QPushButton(tr("&Back"), this);
    auto* contents = new QPushButton(tr("&Contents"), this);
    back->setEnabled(false);
    connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(contents, &QPushButton::clicked, browser_, &QTextBrowser::home);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(browser_, &QTextBrowser::sourceChanged, this,
            [this] { setWindowTitle(tr("Tavrel manual") + QStringLiteral(" - ") + browser_->documentTitle()); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(back);
    buttons->addWidget(contents);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(browser_);
    resize(760, 600);
}

void ManualWindow::showPage(const QUrl& page) {
    // The first page shown is the one Contents returns to.
    if (browser_->source().isEmpty()) {
        browser_->setSource(page.resolved(QUrl(QStringLiteral("index.html"))));
    }
    browser_->setSource(page);
    show();
    raise();
    activateWindow();
}

void ManualWindow::keyPressEvent(QKeyEvent* event) {
    // The text and the buttons leave Esc to their window.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

QUrl ManualWindow::currentPage() const { return browser_->source(); }

}  // namespace tavrel::ui
