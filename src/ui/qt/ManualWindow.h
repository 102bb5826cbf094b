// The shipped manual shown in a window of the application: used when the desktop
// has no handler for local HTML pages. Links between the manual's pages stay in
// the window; links to elsewhere go to the desktop.
#pragma once

#include <QUrl>
#include <QWidget>

class QTextBrowser;

namespace tavrel::ui {

class ManualWindow : public QWidget {
    Q_OBJECT
public:
    explicit ManualWindow(QWidget* parent = nullptr);

    // Shows the page (a local file URL) and raises the window.
    void showPage(const QUrl& page);
    QUrl currentPage() const;

protected:
    // Esc closes the manual, as it closes a dialog.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QTextBrowser* browser_;
};

}  // namespace tavrel::ui
