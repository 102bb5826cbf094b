// The scan page's entry tree, independent of any toolkit: the top item ("ROOT")
// over the parser's first level, folders filled once on demand, and a check state
// per item. The Qt model (ui/qt/EntryTreeModel) presents it; the page controller
// fills it and reads the ticked items for saving.
//
// A folder item that has not been filled yet but whose entry has children stands
// for a folder carrying the "..DUMY.." placeholder child: views show an expand
// button for it, and filling it inserts the real children (once).
//
// Interface thread only (a preview reads the parser elsewhere, holding
// parserTurn()). Nodes never move once inserted: views may keep pointers
// to them until clear() (announced to the listener) or destruction.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "browse/SaveEngine.h"
#include "fs/Parser.h"

namespace tavrel::app {

inline constexpr const char* kPlaceholderText = "..DUMY..";

// A colour by its red, green and blue components (0..255).
struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
    bool operator==(const Rgb&) const = default;
};

// The tree's background while a search walks the volume: the window colour made
// darker by 10 in each component; a component below 10 stays as it is. The text
// then shows in the grey-text colour; after the search the tree's own colours
// come back.
Rgb searchBackground(Rgb window);

class EntryTree {
public:
    // A name as the tree shows it: without control characters (the HFS+ private
    // folder's name begins with four NULs), which would show as boxes.
    static std::string shownText(std::string name);

    struct Node {
        Node* parent = nullptr;
        int row = 0;                          // index in parent->children
        std::optional<fs::EntryRef> entry;    // none for the top item
        std::string text;
        bool folder = false;
        bool deleted = false;
        bool checked = false;
        bool partial = false;     // some, not all, of its children are ticked
        bool filled = false;      // children inserted
        bool expandable = false;  // filled ? has child items : the entry has children
        std::vector<std::unique_ptr<Node>> children;

        bool isTop() const { return parent == nullptr; }
    };

    // Told about every change, so that a view can follow.
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void beginInsert(const Node& parent, int first, int last) = 0;
        virtual void endInsert() = 0;
        virtual void beginReset() = 0;
        virtual void endReset() = 0;
        virtual void checkChanged(const Node& node) = 0;
        virtual void expandableChanged(const Node& node) = 0;
        // The tree is going away; the listener must forget it.
        virtual void treeDestroyed() = 0;
    };

    EntryTree() = default;
    ~EntryTree();
    EntryTree(const EntryTree&) = delete;
    EntryTree& operator=(const EntryTree&) = delete;

    void setListener(Listener* listener) { listener_ = listener; }

    // Replaces the tree by the top item named rootName over the parser's first
    // level. The parser must outlive the tree's use of it (clear() forgets it).
    void populate(const fs::Parser& parser, const std::string& rootName);
    void clear();

    const fs::Parser* parser() const { return parser_; }
    Node* top() { return top_.get(); }
    const Node* top() const { return top_.get(); }

    // Inserts a folder's children once. The children take the folder's check
    // state. False when nothing was inserted (not a folder, already filled, or
    // locked).
    bool fill(Node& node);
    bool canFill(const Node& node) const { return !locked_ && !node.filled && node.expandable; }

    // While locked (a job reads the parser on another thread), nothing reads the
    // parser: fill() does nothing.
    void setLocked(bool locked) { locked_ = locked; }
    bool locked() const { return locked_; }

    // The parser's turn: held while the tree or the file list reads the parser
    // on the interface thread and while a preview reads it on its own thread,
    // so the two never use it at once.
    std::mutex& parserTurn() const { return parserTurn_; }

    // Set while a name search walks the volume: the tree shows in its search
    // colours (searchBackground, grey text).
    void setSearching(bool searching) { searching_ = searching; }
    bool searching() const { return searching_; }

    // Ticks or unticks an item with everything inserted below it; each folder
    // above it then shows ticked when all its children are, partly ticked when
    // some are.
    void setChecked(Node& node, bool checked);
    bool anyChecked() const;

    // The ticked items for saving, in tree order: each ticked file and each ticked
    // folder with its whole subtree (nothing below a ticked folder is listed
    // again). A ticked top item stands for the whole volume.
    std::vector<browse::SaveItem> checkedItems() const;

    // The folder entries from below the top item down to the node's parent.
    static std::vector<fs::EntryRef> parentsOf(const Node& node);

    // The selected item (the tree's current item), or nullptr.
    Node* selected = nullptr;

private:
    void setSubtree(Node& node, bool checked);
    void updateAncestors(Node& node);
    std::unique_ptr<Node> makeNode(Node* parent, int row, fs::EntryRef entry, bool checked) const;

    const fs::Parser* parser_ = nullptr;
    std::unique_ptr<Node> top_;
    Listener* listener_ = nullptr;
    bool locked_ = false;
    bool searching_ = false;
    mutable std::mutex parserTurn_;
};

}  // namespace tavrel::app
