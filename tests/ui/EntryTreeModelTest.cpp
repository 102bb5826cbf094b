// The entry tree and file list models over a parser held in memory: checked by
// QAbstractItemModelTester, filled lazily (once), deleted entries red, check
// boxes mirrored, and a folder of 100,000 entries opened without reading more
// than the rows a view shows.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QBrush>
#include <QSignalSpy>
#include <QTableView>
#include <QTreeView>

#include "app/EntryTree.h"
#include "app/FileList.h"
#include "app/ScanPageFakeParser.h"
#include "ui/UiTestSupport.h"
#include "ui/qt/EntryTreeModel.h"
#include "ui/qt/FileListModel.h"

namespace tavrel::test {
namespace {

using app::EntryTree;
using ui::EntryTreeModel;
using ui::FileListModel;

class EntryTreeModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        qtApp();
        docs = parser.folder("docs");
        parser.file("a.txt", docs, "alpha");
        parser.file("b.txt", docs, "bravo", true);
        const int sub = parser.folder("sub", docs);
        parser.file("c.txt", sub, "charlie");
        parser.folder("empty");
        parser.folder("lost", -1, true);
        parser.file("top.txt");
        parser.buildIndex();
        tree.populate(parser, "ROOT");
    }
    QModelIndex find(EntryTreeModel& model, const QModelIndex& parent, const QString& name) {
        for (int r = 0; r < model.rowCount(parent); ++r) {
            const QModelIndex i = model.index(r, 0, parent);
            if (model.data(i).toString() == name) return i;
        }
        return {};
    }

    ScanPageFakeParser parser;
    EntryTree tree;
    int docs = 0;
};

TEST_F(EntryTreeModelTest, PassesTheModelTesterWhileFillingLazily) {
    EntryTreeModel model(tree);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    ASSERT_EQ(model.rowCount(), 1);
    const QModelIndex top = model.index(0, 0);
    EXPECT_EQ(model.data(top).toString(), "ROOT");
    ASSERT_EQ(model.rowCount(top), 4);

    const QModelIndex d = find(model, top, "docs");
    ASSERT_TRUE(d.isValid());
    EXPECT_EQ(model.parent(d), top);
    // The tester walks the whole model, fetching every folder as it goes.
    EXPECT_TRUE(tree.top()->children[0]->filled);
    EXPECT_EQ(model.rowCount(d), 3);
    EXPECT_FALSE(model.canFetchMore(d));
    const QModelIndex empty = find(model, top, "empty");
    EXPECT_FALSE(model.hasChildren(empty));

    // A second population resets the model; the tester checks the signals. (The
    // tester walks the model from inside the reset signal, where a fetch would
    // look like a second change in flight, so the tree is locked meanwhile.)
    tree.setLocked(true);
    tree.populate(parser, "ROOT");
    EXPECT_EQ(model.rowCount(model.index(0, 0)), 4);
    tree.clear();
    tree.setLocked(false);
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(EntryTreeModelTest, FolderFillsOnceThroughFetchMore) {
    EntryTreeModel model(tree);
    const QModelIndex top = model.index(0, 0);
    const QModelIndex d = find(model, top, "docs");
    EXPECT_TRUE(model.hasChildren(d));
    EXPECT_EQ(model.rowCount(d), 0);
    ASSERT_TRUE(model.canFetchMore(d));

    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    model.fetchMore(d);
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted.at(0).at(0).value<QModelIndex>(), d);
    EXPECT_EQ(inserted.at(0).at(2).toInt(), 2);
    EXPECT_EQ(model.rowCount(d), 3);
    EXPECT_FALSE(model.canFetchMore(d));
    model.fetchMore(d);
    EXPECT_EQ(inserted.count(), 1);

    // Each node keeps its row; parent() answers from it.
    const QModelIndex sub = model.index(2, 0, d);
    EXPECT_EQ(model.data(sub).toString(), "sub");
    EXPECT_EQ(model.parent(sub), d);
    EXPECT_TRUE(model.hasChildren(sub));

    // Locked (a job uses the parser), nothing is fetched.
    tree.setLocked(true);
    EXPECT_FALSE(model.canFetchMore(sub));
    model.fetchMore(sub);
    EXPECT_EQ(model.rowCount(sub), 0);
    tree.setLocked(false);
    EXPECT_TRUE(model.canFetchMore(sub));
}

TEST_F(EntryTreeModelTest, DeletedEntriesAreRedAndEveryItemHasACheckBox) {
    EntryTreeModel model(tree);
    const QModelIndex top = model.index(0, 0);
    const QModelIndex lost = find(model, top, "lost");
    const QModelIndex d = find(model, top, "docs");
    model.fetchMore(d);
    const QModelIndex b = find(model, d, "b.txt");
    const QModelIndex a = find(model, d, "a.txt");
    for (const QModelIndex& deleted : {lost, b})
        EXPECT_EQ(model.data(deleted, Qt::ForegroundRole).value<QBrush>().color(), QColor(255, 0, 0));
    EXPECT_FALSE(model.data(a, Qt::ForegroundRole).isValid());
    for (const QModelIndex& i : {top, d, a, b}) {
        EXPECT_TRUE(model.flags(i) & Qt::ItemIsUserCheckable);
        EXPECT_EQ(model.data(i, Qt::CheckStateRole).toInt(), Qt::Unchecked);
        EXPECT_FALSE(model.data(i, Qt::DecorationRole).value<QIcon>().isNull());
    }
}

TEST_F(EntryTreeModelTest, CheckingAFolderBeforeFillingChecksItsChildren) {
    EntryTreeModel freshModel(tree);
    const QModelIndex d = find(freshModel, freshModel.index(0, 0), "docs");
    QSignalSpy changed(&freshModel, &QAbstractItemModel::dataChanged);
    ASSERT_TRUE(freshModel.setData(d, Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(changed.count(), 2);  // the folder and the top item, now partly ticked
    EXPECT_EQ(freshModel.data(d, Qt::CheckStateRole).toInt(), Qt::Checked);
    freshModel.fetchMore(d);
    for (int r = 0; r < freshModel.rowCount(d); ++r)
        EXPECT_EQ(freshModel.data(freshModel.index(r, 0, d), Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(freshModel.data(freshModel.index(0, 0), Qt::CheckStateRole).toInt(), Qt::PartiallyChecked);
}

TEST_F(EntryTreeModelTest, FileListPassesTheTesterAndMirrorsChecks) {
    app::FileList list(tree);
    FileListModel model(list);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EntryTree::Node& d = *tree.top()->children[0];
    tree.fill(d);
    list.show({d.children[0].get(), d.children[1].get()}, false);
    ASSERT_EQ(model.rowCount(), 2);
    ASSERT_EQ(model.columnCount(), 7);
    const char* headers[] = {"File(s) List", "Creation Time", "Access Time", "Modification Time", "Size",
                             "Attribute", "Condition"};
    for (int c = 0; c < 7; ++c) EXPECT_EQ(model.headerData(c, Qt::Horizontal).toString(), headers[c]);
    // A deleted file's condition; this parser keeps no allocation map.
    EXPECT_EQ(model.data(model.index(0, 6)).toString(), "");
    EXPECT_EQ(model.data(model.index(1, 6)).toString(), "unknown");
    EXPECT_EQ(model.data(model.index(1, 6), Qt::ToolTipRole).toString(),
              "The volume's allocation map could not be read");
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), "a.txt");
    EXPECT_EQ(model.data(model.index(1, 4)).toString(), "5 Bytes");
    EXPECT_EQ(model.data(model.index(1, 5)).toString(), "-H");
    // Deleted entries are red in the list as in the tree.
    EXPECT_EQ(model.data(model.index(1, 0), Qt::ForegroundRole).value<QBrush>().color(), QColor(255, 0, 0));
    EXPECT_FALSE(model.data(model.index(0, 0), Qt::ForegroundRole).isValid());

    QSignalSpy header(&model, &FileListModel::headerCheckChanged);
    model.setData(model.index(0, 0), Qt::Checked, Qt::CheckStateRole);
    EXPECT_TRUE(d.children[0]->checked);
    EXPECT_EQ(header.count(), 0);
    model.setData(model.index(1, 0), Qt::Checked, Qt::CheckStateRole);
    EXPECT_TRUE(d.children[1]->checked);
    ASSERT_EQ(header.count(), 1);
    EXPECT_TRUE(header.at(0).at(0).toBool());
    EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::CheckStateRole).toInt(), Qt::Checked);

    list.toggleHeader();
    EXPECT_EQ(model.data(model.index(0, 0), Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_FALSE(d.children[0]->checked);  // the tree shows the same ticks
}

TEST_F(EntryTreeModelTest, ModelsOutliveTheirTreeSafely) {
    auto owned = std::make_unique<EntryTree>();
    owned->populate(parser, "ROOT");
    auto ownedList = std::make_unique<app::FileList>(*owned);
    EntryTreeModel model(*owned);
    FileListModel listModel(*ownedList);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    ownedList.reset();
    owned.reset();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(listModel.rowCount(), 0);
    EXPECT_EQ(model.node(QModelIndex()), nullptr);
}

TEST_F(EntryTreeModelTest, HundredThousandEntryFolderOpensWithoutReadingEveryRow) {
    ScanPageFakeParser big;
    const int folder = big.folder("many");
    for (int i = 0; i < 100000; ++i) big.file("f" + std::to_string(i) + ".txt", folder, "");
    big.buildIndex();
    EntryTree bigTree;
    bigTree.populate(big, "ROOT");
    app::FileList list(bigTree);
    EntryTreeModel model(bigTree);
    FileListModel listModel(list);

    QTreeView view;
    view.setUniformRowHeights(true);
    view.setModel(&model);
    view.resize(400, 300);
    view.show();
    const QModelIndex top = model.index(0, 0);
    view.expand(top);
    const QModelIndex many = model.index(0, 0, top);
    view.expand(many);
    QCoreApplication::processEvents();
    ASSERT_EQ(model.rowCount(many), 100000);
    EXPECT_EQ(model.data(model.index(99999, 0, many)).toString(), "f99999.txt");
    EXPECT_EQ(model.parent(model.index(99999, 0, many)), many);

    std::vector<EntryTree::Node*> files;
    for (auto& c : bigTree.top()->children[0]->children) files.push_back(c.get());
    list.show(files, false);
    QTableView table;
    table.setModel(&listModel);
    table.resize(600, 300);
    table.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(listModel.rowCount(), 100000);
    // Only the rows on screen were described.
    EXPECT_GT(big.describeCalls.load(), 0);
    EXPECT_LT(big.describeCalls.load(), 1000);
}

}  // namespace
}  // namespace tavrel::test
