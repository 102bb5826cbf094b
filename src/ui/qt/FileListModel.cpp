#include "ui/qt/FileListModel.h"

#include <QBrush>
#include <QColor>

namespace tavrel::ui {

FileListModel::FileListModel(app::FileList& list, QObject* parent) : QAbstractTableModel(parent), list_(&list) {
    list_->setListener(this);
}

FileListModel::~FileListModel() {
    if (list_) list_->setListener(nullptr);
}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return list_ && !parent.isValid() ? list_->rowCount() : 0;
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : app::FileList::kColumnCount;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!list_ || !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    const int r = index.row();
    const int c = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(list_->cell(r, c));
    case Qt::ToolTipRole:
        return QString::fromStdString(list_->tip(r, c));
    case Qt::CheckStateRole:
        if (c == app::FileList::kName) return list_->row(r).checked ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::DecorationRole:
        if (c == app::FileList::kName) return icons_.forFileName(QString::fromStdString(list_->cell(r, c)));
        return {};
    case Qt::ForegroundRole:
        // Deleted entries are red here as in the tree.
        if (list_->row(r).deleted) return QBrush(QColor(255, 0, 0));
        return {};
    default:
        return {};
    }
}

bool FileListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!list_ || role != Qt::CheckStateRole || index.column() != app::FileList::kName ||
        !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    const bool checked = value.toInt() == Qt::Checked;
    if (onCheck) onCheck(index.row(), checked);
    else list_->setChecked(index.row(), checked);
    return true;
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= app::FileList::kColumnCount) return {};
    if (role == Qt::DisplayRole) return QString::fromUtf8(app::FileList::kHeaders[static_cast<std::size_t>(section)]);
    if (role == Qt::CheckStateRole && section == app::FileList::kName)
        return headerChecked() ? Qt::Checked : Qt::Unchecked;
    return {};
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == app::FileList::kName) f |= Qt::ItemIsUserCheckable;
    return f;
}

void FileListModel::beginReset() { beginResetModel(); }

void FileListModel::endReset() { endResetModel(); }

void FileListModel::rowChanged(int row) {
    emit dataChanged(index(row, 0), index(row, 0), {Qt::CheckStateRole});
}

void FileListModel::headerChanged(bool checked) {
    emit headerDataChanged(Qt::Horizontal, 0, 0);
    emit headerCheckChanged(checked);
}

void FileListModel::listDestroyed() {
    beginResetModel();
    list_ = nullptr;
    endResetModel();
}

}  // namespace tavrel::ui
