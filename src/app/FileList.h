// The scan page's file list, independent of any toolkit: the files of the
// selected folder (or the selected file), each row naming its tree item, with a
// check box per row mirrored to the tree and a check-all state for the first
// column's header. Cell texts come from the parser when a view first asks for
// them, so a folder with a hundred thousand files lists at once.
//
// Interface thread only.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "app/EntryTree.h"

namespace tavrel::app {

class FileList {
public:
    enum Column { kName, kCreated, kAccessed, kModified, kSize, kAttributes, kCondition, kColumnCount };
    static const std::array<const char*, kColumnCount> kHeaders;
    static const std::array<int, kColumnCount> kWidths;

    struct Row {
        EntryTree::Node* node = nullptr;    // none for a search result
        std::optional<fs::EntryRef> entry;  // the record the row stands for
        bool deleted = false;
        bool checked = false;
        bool namesOnly = false;           // double click lists names only
        mutable bool described = false;   // cells filled from the parser
        mutable std::array<std::string, kColumnCount> cells;
        mutable std::string conditionTip;  // the Condition cell's tooltip
    };

    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void beginReset() = 0;
        virtual void endReset() = 0;
        virtual void rowChanged(int row) = 0;
        virtual void headerChanged(bool checked) = 0;
        virtual void listDestroyed() = 0;
    };

    explicit FileList(EntryTree& tree) : tree_(tree) {}
    ~FileList();
    FileList(const FileList&) = delete;
    FileList& operator=(const FileList&) = delete;

    void setListener(Listener* listener) { listener_ = listener; }

    // Replaces the rows by the given tree items (files).
    void show(const std::vector<EntryTree::Node*>& nodes, bool namesOnly);

    // A search result row: a record with its full path, not a tree item.
    struct Found {
        fs::EntryRef entry = 0;
        std::string path;
        bool deleted = false;
    };
    // Replaces the rows by search results and sets the search-results mark:
    // ticking these rows ticks nothing in the tree.
    void showResults(const std::vector<Found>& found);
    void clear();

    int rowCount() const { return static_cast<int>(rows_.size()); }
    const Row& row(int r) const { return rows_.at(static_cast<std::size_t>(r)); }
    // Text of one cell; empty while the tree is locked and the row not yet read.
    std::string cell(int r, int column) const;
    // The tooltip of a cell: for the Condition cell, the share of clusters
    // reused; else the cell's text.
    std::string tip(int r, int column) const;

    // A click on a row's check box: the row and (unless the list shows search
    // results) its tree item take the new state.
    void setChecked(int r, bool checked);
    // A click on the first column's header: every row toggles to the header's
    // new state, and so do their tree items (tree and list show the same ticks).
    void toggleHeader();
    // Takes the rows' ticks from their tree items again, after the tree changed.
    void refreshChecks();
    bool headerChecked() const { return headerChecked_; }

    bool showingSearchResults = false;

private:
    void updateHeader();

    EntryTree& tree_;
    std::vector<Row> rows_;
    bool headerChecked_ = false;
    Listener* listener_ = nullptr;
};

}  // namespace tavrel::app
