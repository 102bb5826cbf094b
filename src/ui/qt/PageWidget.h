// Base of every page's Qt widget: the page's layout plus a registry of its
// controls by id, through which QtGui serves the controllers' Gui calls.
// docs/pages.md names each page's widget and its controller in src/app/.
#pragma once

#include <QHash>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>
#include <string>

namespace tavrel::app {
class PageController;
}

namespace tavrel::ui {

class PageWidget : public QWidget {
    Q_OBJECT
public:
    PageWidget(int pageId, QWidget* parent = nullptr) : QWidget(parent), pageId_(pageId) {}
    int pageId() const { return pageId_; }

    // The control registered under id, or nullptr.
    QWidget* control(const std::string& id) const { return controls_.value(QString::fromStdString(id)); }

    // Connects the page's widgets to the controller's entry points. Called once,
    // after the controller exists and before its open().
    virtual void bind(app::PageController& controller) = 0;
    // After bind(), in a run that keeps settings: a page that remembers choices
    // across runs reads them into its controller and keeps new ones.
    virtual void keepChoices(app::PageController& /*controller*/) {}

protected:
    void registerControl(const std::string& id, QWidget* widget) {
        controls_.insert(QString::fromStdString(id), widget);
    }

private:
    int pageId_;
    QHash<QString, QPointer<QWidget>> controls_;
};

// Creates the widget of a page by id (one case per page, each page in its own
// file); nullptr for an unknown id.
std::unique_ptr<PageWidget> makePageWidget(int pageId);

}  // namespace tavrel::ui
