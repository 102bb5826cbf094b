#include "ui/qt/EntryTreeModel.h"

#include <QBrush>
#include <QColor>

namespace tavrel::ui {

using Node = app::EntryTree::Node;

EntryTreeModel::EntryTreeModel(app::EntryTree& tree, QObject* parent) : QAbstractItemModel(parent), tree_(&tree) {
    tree_->setListener(this);
}

EntryTreeModel::~EntryTreeModel() {
    if (tree_) tree_->setListener(nullptr);
}

Node* EntryTreeModel::node(const QModelIndex& index) const {
    if (!tree_ || !index.isValid()) return nullptr;
    return static_cast<Node*>(index.internalPointer());
}

QModelIndex EntryTreeModel::indexOf(const Node& n) const {
    return createIndex(n.isTop() ? 0 : n.row, 0, const_cast<Node*>(&n));
}

QModelIndex EntryTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (!tree_ || column != 0 || row < 0) return {};
    if (!parent.isValid()) return row == 0 && tree_->top() ? indexOf(*tree_->top()) : QModelIndex();
    const Node* p = node(parent);
    if (!p || parent.column() != 0 || row >= static_cast<int>(p->children.size())) return {};
    return createIndex(row, 0, p->children[static_cast<std::size_t>(row)].get());
}

QModelIndex EntryTreeModel::parent(const QModelIndex& child) const {
    const Node* n = node(child);
    if (!n || !n->parent) return {};
    return indexOf(*n->parent);
}

int EntryTreeModel::rowCount(const QModelIndex& parent) const {
    if (!tree_) return 0;
    if (!parent.isValid()) return tree_->top() ? 1 : 0;
    if (parent.column() != 0) return 0;
    const Node* p = node(parent);
    return p ? static_cast<int>(p->children.size()) : 0;
}

int EntryTreeModel::columnCount(const QModelIndex&) const { return 1; }

bool EntryTreeModel::hasChildren(const QModelIndex& parent) const {
    if (!tree_) return false;
    if (!parent.isValid()) return tree_->top() != nullptr;
    if (parent.column() != 0) return false;
    const Node* p = node(parent);
    if (!p) return false;
    return p->filled ? !p->children.empty() : p->expandable;
}

bool EntryTreeModel::canFetchMore(const QModelIndex& parent) const {
    const Node* p = node(parent);
    return p && parent.column() == 0 && tree_->canFill(*p);
}

void EntryTreeModel::fetchMore(const QModelIndex& parent) {
    if (Node* p = node(parent); p && parent.column() == 0) tree_->fill(*p);
}

QVariant EntryTreeModel::data(const QModelIndex& index, int role) const {
    const Node* n = node(index);
    if (!n) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return QString::fromStdString(n->text);
    case Qt::DecorationRole:
        return n->folder ? icons_.folder() : icons_.forFileName(QString::fromStdString(n->text));
    case Qt::ForegroundRole:
        if (n->deleted) return QBrush(QColor(255, 0, 0));
        return {};
    case Qt::CheckStateRole:
        return n->checked ? Qt::Checked : n->partial ? Qt::PartiallyChecked : Qt::Unchecked;
    default:
        return {};
    }
}

bool EntryTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    Node* n = node(index);
    if (!n || role != Qt::CheckStateRole) return false;
    const bool checked = value.toInt() == Qt::Checked;
    if (onCheck) onCheck(*n, checked);
    else tree_->setChecked(*n, checked);
    return true;
}

Qt::ItemFlags EntryTreeModel::flags(const QModelIndex& index) const {
    if (!node(index)) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}

void EntryTreeModel::beginInsert(const Node& parent, int first, int last) {
    beginInsertRows(indexOf(parent), first, last);
}

void EntryTreeModel::endInsert() { endInsertRows(); }

void EntryTreeModel::beginReset() { beginResetModel(); }

void EntryTreeModel::endReset() { endResetModel(); }

void EntryTreeModel::checkChanged(const Node& n) {
    const QModelIndex i = indexOf(n);
    emit dataChanged(i, i, {Qt::CheckStateRole});
}

void EntryTreeModel::expandableChanged(const Node&) {
    // The view caches whether an item has children; a layout change refreshes it.
    emit layoutAboutToBeChanged();
    emit layoutChanged();
}

void EntryTreeModel::treeDestroyed() {
    beginResetModel();
    tree_ = nullptr;
    endResetModel();
}

}  // namespace tavrel::ui
