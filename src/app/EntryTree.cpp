#include "app/EntryTree.h"

#include <functional>

namespace tavrel::app {

Rgb searchBackground(Rgb window) {
    const auto darker = [](int c) { return c < 10 ? c : c - 10; };
    return {darker(window.red), darker(window.green), darker(window.blue)};
}

std::string EntryTree::shownText(std::string name) {
    std::erase_if(name, [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    return name;
}

EntryTree::~EntryTree() {
    if (listener_) listener_->treeDestroyed();
}

std::unique_ptr<EntryTree::Node> EntryTree::makeNode(Node* parent, int row, fs::EntryRef entry,
                                                     bool checked) const {
    auto node = std::make_unique<Node>();
    node->parent = parent;
    node->row = row;
    node->entry = entry;
    node->text = shownText(parser_->shownName(entry));
    node->folder = parser_->isFolder(entry);
    node->deleted = parser_->isDeleted(entry);
    node->checked = checked;
    node->expandable = node->folder && parser_->hasChildren(entry);
    return node;
}

void EntryTree::populate(const fs::Parser& parser, const std::string& rootName) {
    if (listener_) listener_->beginReset();
    selected = nullptr;
    parser_ = &parser;
    top_ = std::make_unique<Node>();
    top_->text = rootName;
    top_->folder = true;
    top_->filled = true;
    const std::vector<fs::EntryRef> level = parser.rootLevel();
    top_->children.reserve(level.size());
    for (const fs::EntryRef e : level)
        top_->children.push_back(makeNode(top_.get(), static_cast<int>(top_->children.size()), e, false));
    top_->expandable = !top_->children.empty();
    if (listener_) listener_->endReset();
}

void EntryTree::clear() {
    if (listener_) listener_->beginReset();
    selected = nullptr;
    top_.reset();
    parser_ = nullptr;
    if (listener_) listener_->endReset();
}

bool EntryTree::fill(Node& node) {
    if (!parser_ || !node.entry || !node.folder || node.filled || locked_) return false;
    node.filled = true;
    if (!node.expandable) return false;
    std::unique_lock turn(parserTurn_);
    const std::vector<fs::EntryRef> kids = parser_->children(*node.entry);
    if (kids.empty()) {
        node.expandable = false;
        if (listener_) listener_->expandableChanged(node);
        return false;
    }
    std::vector<std::unique_ptr<Node>> made;
    made.reserve(kids.size());
    for (const fs::EntryRef c : kids) made.push_back(makeNode(&node, static_cast<int>(made.size()), c, node.checked));
    turn.unlock();
    if (listener_) listener_->beginInsert(node, 0, static_cast<int>(made.size()) - 1);
    node.children = std::move(made);
    if (listener_) listener_->endInsert();
    return true;
}

void EntryTree::setChecked(Node& node, bool checked) {
    setSubtree(node, checked);
    updateAncestors(node);
}

void EntryTree::setSubtree(Node& node, bool checked) {
    std::vector<Node*> stack{&node};
    while (!stack.empty()) {
        Node* n = stack.back();
        stack.pop_back();
        if (n->checked != checked || n->partial) {
            n->checked = checked;
            n->partial = false;
            if (listener_) listener_->checkChanged(*n);
        }
        for (const auto& c : n->children) stack.push_back(c.get());
    }
}

void EntryTree::updateAncestors(Node& node) {
    for (Node* p = node.parent; p; p = p->parent) {
        bool all = !p->children.empty();
        bool any = false;
        for (const auto& c : p->children) {
            all = all && c->checked;
            any = any || c->checked || c->partial;
        }
        const bool partial = !all && any;
        if (p->checked == all && p->partial == partial) break;
        p->checked = all;
        p->partial = partial;
        if (listener_) listener_->checkChanged(*p);
    }
}

bool EntryTree::anyChecked() const {
    if (!top_) return false;
    std::function<bool(const Node&)> any = [&](const Node& n) {
        if (n.checked) return true;
        for (const auto& c : n.children)
            if (any(*c)) return true;
        return false;
    };
    return any(*top_);
}

std::vector<fs::EntryRef> EntryTree::parentsOf(const Node& node) {
    std::vector<fs::EntryRef> parents;
    for (const Node* p = node.parent; p && p->entry; p = p->parent) parents.insert(parents.begin(), *p->entry);
    return parents;
}

std::vector<browse::SaveItem> EntryTree::checkedItems() const {
    std::vector<browse::SaveItem> items;
    if (!top_) return items;
    if (top_->checked) {
        // The whole volume: every first-level entry with its subtree.
        for (const auto& c : top_->children) items.push_back({*c->entry, {}});
        return items;
    }
    std::function<void(const Node&)> collect = [&](const Node& n) {
        for (const auto& c : n.children) {
            if (c->checked) items.push_back({*c->entry, parentsOf(*c)});
            else collect(*c);
        }
    };
    collect(*top_);
    return items;
}

}  // namespace tavrel::app
