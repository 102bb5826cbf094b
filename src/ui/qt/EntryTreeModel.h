// The entry tree as a lazy Qt model: folders report children before they are
// filled (hasChildren/canFetchMore), and fetchMore fills them once through the
// EntryTree. Each index points at its EntryTree node, which stores its own row.
// Deleted entries are red; every item has a check box.
#pragma once

#include <QAbstractItemModel>

#include <functional>

#include "app/EntryTree.h"
#include "ui/qt/EntryIcons.h"

namespace tavrel::ui {

class EntryTreeModel : public QAbstractItemModel, private app::EntryTree::Listener {
    Q_OBJECT
public:
    EntryTreeModel(app::EntryTree& tree, QObject* parent = nullptr);
    ~EntryTreeModel() override;

    // A check box click; without it the model ticks the tree item itself.
    std::function<void(app::EntryTree::Node&, bool)> onCheck;

    // The node of an index (nullptr for the invalid index or after the tree died).
    app::EntryTree::Node* node(const QModelIndex& index) const;
    QModelIndex indexOf(const app::EntryTree::Node& node) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void beginInsert(const app::EntryTree::Node& parent, int first, int last) override;
    void endInsert() override;
    void beginReset() override;
    void endReset() override;
    void checkChanged(const app::EntryTree::Node& node) override;
    void expandableChanged(const app::EntryTree::Node& node) override;
    void treeDestroyed() override;

    app::EntryTree* tree_;
    mutable EntryIcons icons_;
};

}  // namespace tavrel::ui
