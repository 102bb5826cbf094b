// The Gui of the page controllers over Qt widgets. Control ids are looked up in
// each page widget's registry; what a call does follows the widget's kind.
// Calls from worker threads are queued to the interface thread. Programmatic
// changes do not echo back to the controllers (signals are blocked meanwhile).
#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>

#include "app/Gui.h"
#include "ui/qt/PageWidget.h"

namespace tavrel::app {
class PageController;
}

namespace tavrel::ui {

class MainWindow;
class ManualWindow;

class QtGui : public QObject, public app::Gui {
    Q_OBJECT
public:
    explicit QtGui(MainWindow& window);
    ~QtGui() override;

    // Connects a created page's widget to its controller.
    void bindPage(app::PageController& controller);
    PageWidget* pageWidget(int pageId) const;

    // Test hooks: when set, used instead of the modal dialogs and the desktop.
    std::function<app::Answer(const std::string& text, app::Buttons, app::Icon)> messageHook;
    std::function<std::string(const std::string& filter)> fileDialogHook;
    std::function<std::string(const std::string& title)> folderDialogHook;
    std::function<void(const QUrl&)> urlHook;
    // Hands a URL to the desktop; false when the desktop has no handler for it.
    std::function<bool(const QUrl&)> desktopOpen;
    std::function<void()> aboutHook;
    // When set (the application sets it), the open and folder dialogs start in
    // the folder they last used and keep the new one in the settings.
    bool keepSettings = false;

    // The manual's folder: the installed one, else the source tree's.
    static QString manualDir();
    // The manual window, once Help had to open one.
    ManualWindow* manualWindow() const;

    app::Answer messageBox(const std::string& text, app::Buttons buttons, app::Icon icon) override;
    void createPage(int pageId) override;
    void showPage(int pageId) override;
    void hidePage(int pageId) override;
    void destroyPage(int pageId) override;
    void setWindowTitle(int pageId, const std::string& title) override;
    void setEnabled(int pageId, const std::string& control, bool enabled) override;
    void setVisible(int pageId, const std::string& control, bool visible) override;
    void setText(int pageId, const std::string& control, const std::string& text) override;
    std::string text(int pageId, const std::string& control) const override;
    void setChecked(int pageId, const std::string& control, bool checked) override;
    bool isChecked(int pageId, const std::string& control) const override;
    void listClear(int pageId, const std::string& control) override;
    int listAddRow(int pageId, const std::string& control, const std::vector<std::string>& cells) override;
    int listSelectedRow(int pageId, const std::string& control) const override;
    void listSelectRow(int pageId, const std::string& control, int row) override;
    void comboSetItems(int pageId, const std::string& control, const std::vector<std::string>& items) override;
    void setProgressRange(int pageId, std::int64_t lower, std::int64_t upper) override;
    void setProgressPosition(int pageId, std::int64_t position) override;
    std::string openFileDialog(const std::string& filter) override;
    std::string chooseFolderDialog(const std::string& title) override;
    void setWaitCursor(bool waiting) override;
    bool openUrl(const std::string& url) override;
    void openManual(const std::string& page) override;
    void showAbout() override;
    void quit() override;
    void post(std::function<void()> fn) override;

protected:
    // Swallows Enter and Escape on the wizard's pages.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* find(int pageId, const std::string& control) const;
    // Runs fn now on the interface thread, or queues it there from a worker.
    void onGuiThread(std::function<void()> fn);
    bool open(const QUrl& url);

    MainWindow& window_;
    QHash<int, QPointer<PageWidget>> pages_;
    QHash<int, int> progressShift_;
    QPointer<ManualWindow> manualWindow_;  // a child window of the main window  // per page: bits the 64-bit range is shifted by
};

}  // namespace tavrel::ui
