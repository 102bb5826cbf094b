// Widgets of the raw recovery page (151): rule-file choice, Parse, the Setting
// button, the tree of categories and found files with smart check boxes, the
// "File(s) List", the work controls and Save. Found files are appended to the
// tree as the page hands them over while the carve runs.
#pragma once

#include <cstddef>
#include <memory>

#include "ui/qt/EntryIcons.h"
#include "ui/qt/WizardPage.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace tavrel::app {
class RawRecoveryDialog;
}  // namespace tavrel::app

namespace tavrel::ui {

class PreviewPane;

class RawRecoveryPage : public WizardPage {
    Q_OBJECT
public:
    RawRecoveryPage();
    void bind(app::PageController& controller) override;
    void keepChoices(app::PageController& controller) override;
    QTreeWidget* tree() const { return tree_; }
    PreviewPane* previewPane() const { return preview_; }

private:
    void rebuild(app::RawRecoveryDialog& page);
    void append(app::RawRecoveryDialog& page, std::size_t first);
    QTreeWidgetItem* addFile(QTreeWidgetItem* category, app::RawRecoveryDialog& page, std::size_t index, bool checked);
    void selected(app::RawRecoveryDialog& page, QTreeWidgetItem* item);
    // Shows the requested found file in the preview pane (the hint when none was).
    void preview(bool requested);

    QTreeWidget* tree_;
    PreviewPane* preview_;
    EntryIcons icons_;
};

std::unique_ptr<PageWidget> makeRawRecoveryPageWidget();

}  // namespace tavrel::ui
