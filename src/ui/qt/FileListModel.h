// The file list as a Qt model: seven columns ("File(s) List" ... "Attribute",
// "Condition"), a check box per row, cell texts read from the FileList when
// shown; the Condition cell's tooltip gives the share of clusters reused.
#pragma once

#include <QAbstractTableModel>

#include <functional>

#include "app/FileList.h"
#include "ui/qt/EntryIcons.h"

namespace tavrel::ui {

class FileListModel : public QAbstractTableModel, private app::FileList::Listener {
    Q_OBJECT
public:
    FileListModel(app::FileList& list, QObject* parent = nullptr);
    ~FileListModel() override;

    // A row's check box click; without it the model ticks the row itself.
    std::function<void(int row, bool checked)> onCheck;

    bool headerChecked() const { return list_ && list_->headerChecked(); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // The first column header's check box state changed.
    void headerCheckChanged(bool checked);

private:
    void beginReset() override;
    void endReset() override;
    void rowChanged(int row) override;
    void headerChanged(bool checked) override;
    void listDestroyed() override;

    app::FileList* list_;
    mutable EntryIcons icons_;
};

}  // namespace tavrel::ui
