// An in-memory parser for the save engine tests: a tree of named entries with
// content, built by the test, including the hostile names a damaged image can
// hold.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "fs/Parser.h"

namespace tavrel::test {

class FakeParser final : public fs::Parser {
public:
    struct Node {
        std::string name;
        bool folder = false;
        bool deleted = false;
        std::string content;
        std::vector<fs::EntryRef> children;
        fs::EntryTimes times;
        bool skip = false;     // skipInSave
        bool noEnter = false;  // enterInSave false
        bool failRead = false; // saveFile writes half and reports failure
    };

    FakeParser() { nodes.push_back(Node{"", true, false, {}, {}, {}, false, false, false}); }

    // Adds an entry under parent (0 is the top item) and returns its ref.
    fs::EntryRef add(fs::EntryRef parent, std::string name, bool folder, std::string content = {},
                     bool deleted = false) {
        Node n;
        n.name = std::move(name);
        n.folder = folder;
        n.content = std::move(content);
        n.deleted = deleted;
        nodes.push_back(std::move(n));
        const auto ref = static_cast<fs::EntryRef>(nodes.size() - 1);
        nodes[parent].children.push_back(ref);
        return ref;
    }
    fs::EntryRef folder(fs::EntryRef parent, std::string name) { return add(parent, std::move(name), true); }
    fs::EntryRef file(fs::EntryRef parent, std::string name, std::string content, bool deleted = false) {
        return add(parent, std::move(name), false, std::move(content), deleted);
    }
    Node& node(fs::EntryRef e) { return nodes.at(e); }

    fs::ScanOutcome scan(WorkControl&) override { return {}; }
    std::vector<fs::EntryRef> rootLevel() const override { return nodes[0].children; }
    std::vector<fs::EntryRef> children(fs::EntryRef e) const override { return nodes.at(e).children; }
    bool isFolder(fs::EntryRef e) const override { return nodes.at(e).folder; }
    bool hasChildren(fs::EntryRef e) const override { return !nodes.at(e).children.empty(); }
    bool isDeleted(fs::EntryRef e) const override { return nodes.at(e).deleted; }
    std::string name(fs::EntryRef e) const override { return nodes.at(e).name; }
    std::int64_t size(fs::EntryRef e) const override { return static_cast<std::int64_t>(nodes.at(e).content.size()); }
    fs::EntryTimes times(fs::EntryRef e) const override { return nodes.at(e).times; }
    fs::EntryDescription describeEntry(fs::EntryRef) const override { return {"c", "a", "m", "-A"}; }
    std::string sizeText(fs::EntryRef e) const override { return std::to_string(size(e)) + " Bytes"; }
    bool saveFile(fs::EntryRef e, fs::ByteSink& out, WorkControl&) override {
        const Node& n = nodes.at(e);
        std::string_view data = n.content;
        if (n.failRead) data = data.substr(0, data.size() / 2);
        // Stream in small pieces, as a parser writes cluster by cluster.
        for (std::size_t at = 0; at < data.size(); at += 7) {
            const auto piece = data.substr(at, 7);
            if (!out.write(ByteSpan(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()))) return false;
        }
        return !n.failRead;
    }
    bool skipInSave(fs::EntryRef e) const override { return nodes.at(e).skip; }
    bool enterInSave(fs::EntryRef e) const override { return !nodes.at(e).noEnter; }

    std::vector<Node> nodes;
};

}  // namespace tavrel::test
