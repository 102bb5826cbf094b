#include "app/FileList.h"

#include <algorithm>

#include "app/ScanTexts.h"
#include "fs/Condition.h"

namespace tavrel::app {

const std::array<const char*, FileList::kColumnCount> FileList::kHeaders = {
    "File(s) List", "Creation Time", "Access Time", "Modification Time", "Size", "Attribute", texts::kConditionHeader};
const std::array<int, FileList::kColumnCount> FileList::kWidths = {80, 90, 90, 90, 80, 70, 80};

std::string FileList::tip(int r, int column) const {
    const std::string text = cell(r, column);
    if (column != kCondition || text.empty()) return text;
    return rows_.at(static_cast<std::size_t>(r)).conditionTip;
}

FileList::~FileList() {
    if (listener_) listener_->listDestroyed();
}

void FileList::show(const std::vector<EntryTree::Node*>& nodes, bool namesOnly) {
    if (listener_) listener_->beginReset();
    rows_.clear();
    rows_.reserve(nodes.size());
    for (EntryTree::Node* n : nodes) {
        Row row;
        row.node = n;
        row.entry = n->entry;
        row.deleted = n->deleted;
        row.checked = n->checked;
        row.namesOnly = namesOnly;
        row.cells[kName] = n->text;
        rows_.push_back(std::move(row));
    }
    showingSearchResults = false;
    if (listener_) listener_->endReset();
    updateHeader();
}

void FileList::showResults(const std::vector<Found>& found) {
    if (listener_) listener_->beginReset();
    rows_.clear();
    rows_.reserve(found.size());
    for (const Found& f : found) {
        Row row;
        row.entry = f.entry;
        row.deleted = f.deleted;
        row.cells[kName] = f.path;
        rows_.push_back(std::move(row));
    }
    showingSearchResults = true;
    if (listener_) listener_->endReset();
    updateHeader();
}

void FileList::clear() {
    if (listener_) listener_->beginReset();
    rows_.clear();
    if (listener_) listener_->endReset();
    updateHeader();
}

std::string FileList::cell(int r, int column) const {
    if (r < 0 || r >= rowCount() || column < 0 || column >= kColumnCount) return {};
    const Row& row = rows_[static_cast<std::size_t>(r)];
    if (column == kName || row.namesOnly) return row.cells[static_cast<std::size_t>(column)];
    if (!row.described && !tree_.locked() && tree_.parser() && row.entry) {
        const std::lock_guard turn(tree_.parserTurn());
        const fs::EntryDescription d = tree_.parser()->describeEntry(*row.entry);
        row.cells[kCreated] = d.created;
        row.cells[kAccessed] = d.accessed;
        row.cells[kModified] = d.modified;
        row.cells[kAttributes] = d.attributes;
        row.cells[kSize] = tree_.parser()->sizeText(*row.entry);
        // A deleted file's condition, by the volume's allocation map.
        if (const auto c = fs::deletedFileCondition(*tree_.parser(), *row.entry)) {
            row.cells[kCondition] = fs::conditionWord(c->condition);
            if (c->counted) row.conditionTip = texts::reusedClustersText(c->reused, c->clusters);
            else if (c->condition == fs::Condition::Intact) row.conditionTip = texts::kConditionResident;
            else if (tree_.parser()->allocationMap()) row.conditionTip = texts::kConditionNoPlace;
            else row.conditionTip = texts::kConditionNoMap;
        }
        row.described = true;
    }
    return row.cells[static_cast<std::size_t>(column)];
}

void FileList::setChecked(int r, bool checked) {
    if (r < 0 || r >= rowCount()) return;
    Row& row = rows_[static_cast<std::size_t>(r)];
    row.checked = checked;
    if (!showingSearchResults && row.node) tree_.setChecked(*row.node, checked);
    if (listener_) listener_->rowChanged(r);
    updateHeader();
}

void FileList::toggleHeader() {
    headerChecked_ = !headerChecked_;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        rows_[i].checked = headerChecked_;
        if (!showingSearchResults && rows_[i].node) tree_.setChecked(*rows_[i].node, headerChecked_);
        if (listener_) listener_->rowChanged(static_cast<int>(i));
    }
    if (listener_) listener_->headerChanged(headerChecked_);
}

void FileList::refreshChecks() {
    if (showingSearchResults) return;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        Row& row = rows_[i];
        if (!row.node || row.checked == row.node->checked) continue;
        row.checked = row.node->checked;
        if (listener_) listener_->rowChanged(static_cast<int>(i));
    }
    updateHeader();
}

void FileList::updateHeader() {
    const bool all = !rows_.empty() && std::all_of(rows_.begin(), rows_.end(), [](const Row& r) { return r.checked; });
    if (all == headerChecked_) return;
    headerChecked_ = all;
    if (listener_) listener_->headerChanged(all);
}

}  // namespace tavrel::app
