// Widgets of the scan page (139): the entry tree and the file list over the
// page controller's EntryTree and FileList, the work controls, the status lines
// and Save. While a search runs the tree shows in its search colours.
#pragma once

#include <memory>

#include <QPalette>

#include "ui/qt/WizardPage.h"

class QTableView;
class QTreeView;

namespace tavrel::app {
class VolumeScanDlg;
}  // namespace tavrel::app

namespace tavrel::ui {

class CheckHeader;
class EntryTreeModel;
class FileListModel;
class PreviewPane;

class ScanPage : public WizardPage {
    Q_OBJECT
public:
    ScanPage();
    void bind(app::PageController& controller) override;

    QTreeView* treeView() const { return tree_; }
    QTableView* listView() const { return list_; }
    EntryTreeModel* treeModel() const { return treeModel_; }
    FileListModel* listModel() const { return listModel_; }
    CheckHeader* listHeader() const { return header_; }
    PreviewPane* previewPane() const { return preview_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The tree takes the keyboard when the page shows.
    void showEvent(QShowEvent* event) override;

private:
    // Starting widths: each column wide enough for its header and usual texts.
    void sizeColumns();
    // After a list fill: the name, size and attribute columns fit their cells.
    void fitColumnsToContents();
    // Shows the list row's file in the preview pane (the hint for none).
    void preview(app::VolumeScanDlg& scan, int row);

    QTreeView* tree_;
    QTableView* list_;
    CheckHeader* header_;
    EntryTreeModel* treeModel_ = nullptr;
    FileListModel* listModel_ = nullptr;
    PreviewPane* preview_;
    QPalette ownPalette_;               // the tree's colours before a search
    bool pressing_ = false;             // a mouse button is down on the tree
    const void* checkClicked_ = nullptr;  // the node whose check box the last click toggled
};

std::unique_ptr<PageWidget> makeScanPageWidget();

}  // namespace tavrel::ui
