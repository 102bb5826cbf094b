#include "ui/qt/QtGui.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QThread>
#include <QTreeWidget>

#include <climits>

#include "app/PageController.h"
#include "ui/qt/KeptSettings.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/ManualWindow.h"
#include "ui/qt/Mnemonics.h"

namespace tavrel::ui {

namespace {
QString qs(const std::string& text) { return QString::fromStdString(text); }
}  // namespace

QtGui::QtGui(MainWindow& window) : window_(window) { qApp->installEventFilter(this); }

QtGui::~QtGui() { qApp->removeEventFilter(this); }

void QtGui::bindPage(app::PageController& controller) {
    PageWidget* page = pageWidget(controller.pageId());
    if (!page) return;
    page->bind(controller);
    if (keepSettings) page->keepChoices(controller);
}

PageWidget* QtGui::pageWidget(int pageId) const { return pages_.value(pageId).data(); }

QWidget* QtGui::find(int pageId, const std::string& control) const {
    PageWidget* page = pageWidget(pageId);
    return page ? page->control(control) : nullptr;
}

void QtGui::onGuiThread(std::function<void()> fn) {
    if (QThread::currentThread() == thread()) {
        fn();
    } else {
        QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
    }
}

bool QtGui::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        auto* widget = qobject_cast<QWidget*>(watched);
        // Only on the wizard's own window: message boxes and file dialogs keep their keys.
        if (widget && widget->window() == &window_ &&
            (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape))
            return true;
    }
    return QObject::eventFilter(watched, event);
}

app::Answer QtGui::messageBox(const std::string& text, app::Buttons buttons, app::Icon icon) {
    if (messageHook) return messageHook(text, buttons, icon);
    QMessageBox box(icon == app::Icon::Question ? QMessageBox::Question : QMessageBox::Information,
                    QString::fromUtf8(app::kAppTitle), qs(text),
                    buttons == app::Buttons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                    &window_);
    giveMnemonics(&box);
    const int pressed = box.exec();
    if (buttons == app::Buttons::Ok) return app::Answer::Ok;
    return pressed == QMessageBox::Yes ? app::Answer::Yes : app::Answer::No;
}

void QtGui::createPage(int pageId) {
    std::unique_ptr<PageWidget> page = makePageWidget(pageId);
    if (!page) return;  // every page id has its widget (PageWidgets.cpp)
    giveMnemonics(page.get());
    PageWidget* raw = page.release();  // owned by the stack from here on
    window_.stack()->addWidget(raw);
    pages_.insert(pageId, raw);
}

void QtGui::showPage(int pageId) {
    if (PageWidget* page = pageWidget(pageId)) window_.stack()->setCurrentWidget(page);
}

void QtGui::hidePage(int) {
    // The stack shows one page at a time: showing the next hides this one.
}

void QtGui::destroyPage(int pageId) {
    PageWidget* page = pageWidget(pageId);
    pages_.remove(pageId);
    progressShift_.remove(pageId);
    if (!page) return;
    window_.stack()->removeWidget(page);
    page->hide();
    // Later: the page may be destroying itself from one of its own signals.
    page->deleteLater();
}

void QtGui::setWindowTitle(int, const std::string& title) { window_.setWindowTitle(qs(title)); }

void QtGui::setEnabled(int pageId, const std::string& control, bool enabled) {
    onGuiThread([=, this] {
        if (QWidget* w = find(pageId, control)) w->setEnabled(enabled);
    });
}

void QtGui::setVisible(int pageId, const std::string& control, bool visible) {
    onGuiThread([=, this] {
        if (QWidget* w = find(pageId, control)) w->setVisible(visible);
    });
}

void QtGui::setText(int pageId, const std::string& control, const std::string& text) {
    onGuiThread([=, this] {
        QWidget* w = find(pageId, control);
        if (!w) return;
        const QSignalBlocker block(w);
        const QString value = qs(text);
        if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            edit->setText(value);
        } else if (auto* label = qobject_cast<QLabel*>(w)) {
            label->setText(value);
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            button->setText(value);
        } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            combo->setCurrentIndex(value.isEmpty() ? -1 : combo->findText(value));
        } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
            plain->setPlainText(value);
        }
    });
}

std::string QtGui::text(int pageId, const std::string& control) const {
    QWidget* w = find(pageId, control);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text().toStdString();
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text().toStdString();
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return plainLabel(button->text()).toStdString();
    if (auto* combo = qobject_cast<QComboBox*>(w)) return combo->currentText().toStdString();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) return plain->toPlainText().toStdString();
    return {};
}

void QtGui::setChecked(int pageId, const std::string& control, bool checked) {
    onGuiThread([=, this] {
        if (auto* button = qobject_cast<QAbstractButton*>(find(pageId, control))) {
            const QSignalBlocker block(button);
            button->setChecked(checked);
        }
    });
}

bool QtGui::isChecked(int pageId, const std::string& control) const {
    auto* button = qobject_cast<QAbstractButton*>(find(pageId, control));
    return button && button->isChecked();
}

void QtGui::listClear(int pageId, const std::string& control) {
    if (auto* list = qobject_cast<QTreeWidget*>(find(pageId, control))) {
        const QSignalBlocker block(list);
        list->clear();
    }
}

int QtGui::listAddRow(int pageId, const std::string& control, const std::vector<std::string>& cells) {
    auto* list = qobject_cast<QTreeWidget*>(find(pageId, control));
    if (!list) return -1;
    const QSignalBlocker block(list);
    auto* item = new QTreeWidgetItem(list);  // owned by the list
    for (std::size_t i = 0; i < cells.size(); ++i) item->setText(static_cast<int>(i), qs(cells[i]));
    return list->indexOfTopLevelItem(item);
}

int QtGui::listSelectedRow(int pageId, const std::string& control) const {
    auto* list = qobject_cast<QTreeWidget*>(find(pageId, control));
    if (!list) return -1;
    const auto selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->indexOfTopLevelItem(selected.first());
}

void QtGui::listSelectRow(int pageId, const std::string& control, int row) {
    auto* list = qobject_cast<QTreeWidget*>(find(pageId, control));
    if (!list) return;
    const QSignalBlocker block(list);
    list->clearSelection();
    if (QTreeWidgetItem* item = list->topLevelItem(row)) {
        item->setSelected(true);
        list->setCurrentItem(item);
        list->scrollToItem(item);
    }
}

void QtGui::comboSetItems(int pageId, const std::string& control, const std::vector<std::string>& items) {
    auto* combo = qobject_cast<QComboBox*>(find(pageId, control));
    if (!combo) return;
    const QSignalBlocker block(combo);
    combo->clear();
    for (const auto& item : items) combo->addItem(qs(item));
    combo->setCurrentIndex(-1);
}

void QtGui::setProgressRange(int pageId, std::int64_t lower, std::int64_t upper) {
    onGuiThread([=, this] {
        auto* bar = qobject_cast<QProgressBar*>(find(pageId, "progress"));
        if (!bar) return;
        // QProgressBar counts in int: large ranges are scaled down by a shift.
        int shift = 0;
        while (shift < 62 && ((upper >> shift) > INT_MAX || (lower >> shift) < INT_MIN)) ++shift;
        progressShift_.insert(pageId, shift);
        bar->setRange(static_cast<int>(lower >> shift), static_cast<int>(upper >> shift));
    });
}

void QtGui::setProgressPosition(int pageId, std::int64_t position) {
    onGuiThread([=, this] {
        auto* bar = qobject_cast<QProgressBar*>(find(pageId, "progress"));
        if (!bar) return;
        const std::int64_t scaled = position >> progressShift_.value(pageId, 0);
        bar->setValue(static_cast<int>(std::clamp<std::int64_t>(scaled, bar->minimum(), bar->maximum())));
    });
}

std::string QtGui::openFileDialog(const std::string& filter) {
    const QString kind = QStringLiteral("open");
    const QString start = keepSettings ? kept::lastFolder(kind) : QDir::homePath();
    const QString file = fileDialogHook ? qs(fileDialogHook(filter))
                                        : QFileDialog::getOpenFileName(&window_, QString(), start, qs(filter));
    if (keepSettings) kept::rememberFileFolder(kind, file);
    return file.toStdString();
}

std::string QtGui::chooseFolderDialog(const std::string& title) {
    const QString kind = QStringLiteral("save");
    const QString start = keepSettings ? kept::lastFolder(kind) : QDir::homePath();
    const QString folder =
        folderDialogHook ? qs(folderDialogHook(title))
                         : QFileDialog::getExistingDirectory(&window_, qs(title), start, QFileDialog::ShowDirsOnly);
    if (keepSettings) kept::rememberFolder(kind, folder);
    return folder.toStdString();
}

void QtGui::setWaitCursor(bool waiting) {
    if (waiting) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

bool QtGui::open(const QUrl& url) {
    if (urlHook) {
        urlHook(url);
        return true;
    }
    return desktopOpen ? desktopOpen(url) : QDesktopServices::openUrl(url);
}

bool QtGui::openUrl(const std::string& url) { return open(QUrl(qs(url))); }

QString QtGui::manualDir() {
    const QString installed = QStringLiteral(TAVREL_DOC_DIR "/manual");
    if (QFileInfo::exists(installed + QStringLiteral("/index.html"))) return installed;
    // A package installed under another prefix than the build's keeps it in
    // ../share/doc/tavrel/ from the executable.
    const QString beside = QDir(QCoreApplication::applicationDirPath())
                               .absoluteFilePath(QStringLiteral("../share/doc/tavrel/manual"));
    if (QFileInfo::exists(beside + QStringLiteral("/index.html"))) return QDir::cleanPath(beside);
    return QStringLiteral(TAVREL_SOURCE_DIR "/docs/manual");
}

ManualWindow* QtGui::manualWindow() const { return manualWindow_.data(); }

void QtGui::openManual(const std::string& page) {
    const QString path = manualDir() + QLatin1Char('/') + qs(page);
    if (!QFileInfo::exists(path)) {
        messageBox("The manual is not installed: " + path.toStdString() + " is missing.", app::Buttons::Ok,
                   app::Icon::Information);
        return;
    }
    const QUrl url = QUrl::fromLocalFile(path);
    if (urlHook) {
        urlHook(url);
        return;
    }
    const bool opened = desktopOpen ? desktopOpen(url) : QDesktopServices::openUrl(url);
    if (opened) return;
    // No handler on this desktop: show the manual here rather than nothing.
    if (!manualWindow_) manualWindow_ = new ManualWindow(&window_);
    manualWindow_->showPage(url);
}

void QtGui::showAbout() {
    if (aboutHook) {
        aboutHook();
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, tr("About Tavrel"),
                    tr("<h3>Tavrel</h3><p>Version %1</p>"
                       "<p>Recovers files from virtual hard-disk images.</p>"
                       "<p>Licence: GPL-3.0-or-later</p>")
                        .arg(QString::fromUtf8(app::kAppVersion)),
                    QMessageBox::Ok, &window_);
    box.setIconPixmap(QApplication::windowIcon().pixmap(64, 64));
    giveMnemonics(&box);
    box.exec();
}

void QtGui::quit() {
    // quit() asks every window to close and is cancelled by one that refuses, as
    // the main window does for a close the page has not agreed to: let it close,
    // and end the event loop directly.
    window_.allowClose();
    window_.close();
    QCoreApplication::exit(0);
}

void QtGui::post(std::function<void()> fn) { QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection); }

}  // namespace tavrel::ui
