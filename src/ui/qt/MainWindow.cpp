#include "ui/qt/MainWindow.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QIcon>
#include <QShortcut>
#include <QVBoxLayout>

#include "app/Gui.h"

namespace tavrel::ui {

MainWindow::MainWindow(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QString::fromUtf8(app::kAppTitle));
    setWindowIcon(QIcon(QStringLiteral(":/tavrel.png")));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    stack_ = new QStackedWidget(this);
    layout->addWidget(stack_);
    resize(dialogUnits(513, 300));
    setMinimumSize(dialogUnits(400, 240));
    // The pages' hidden Exit command.
    auto* exit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    connect(exit, &QShortcut::activated, this, [this] {
        if (onExit) onExit();
    });
}

QSize MainWindow::dialogUnits(int width, int height) const {
    // A dialog unit is a quarter of the average letter width and an eighth of the
    // font's height.
    const QFontMetrics fm(font());
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const double baseX = fm.horizontalAdvance(letters) / 52.0;
    const double baseY = fm.height();
    return {static_cast<int>(width * baseX / 4 + 0.5), static_cast<int>(height * baseY / 8 + 0.5)};
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->accept();
        return;
    }
    // The page decides (it asks first); an agreed exit quits the application and
    // lets this close go through.
    if (onClose) onClose();
    if (closing_) event->accept();
    else event->ignore();
}

}  // namespace tavrel::ui
