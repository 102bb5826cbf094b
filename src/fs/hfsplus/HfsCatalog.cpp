// The catalog stages of the HFS+ parser: folder and file records into the
// entry table, the folder tree, and the root level.
#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "fs/hfsplus/HFSP.h"
#include "util/Unicode.h"

namespace tavrel::fs {

using namespace hfsplus;

namespace {

// The private folder that holds the content of hard-linked files ("iNode<n>");
// its name begins with four NUL characters.
const std::string kPrivateDataName = std::string(4, '\0') + "HFS+ Private Data";

std::string formatted(const char* format, long long a, long long b = 0) {
    char buf[96];
    std::snprintf(buf, sizeof buf, format, a, b);
    return buf;
}

}  // namespace

void HFSP::buildLookup() {
    lookup_.clear();
    // CNIDs are handed out in sequence, so a table by CNID is usually small.
    if (entries_.empty() || entries_.back().cnid > 4 * entries_.size() + 65536) return;
    lookup_.assign(static_cast<std::size_t>(entries_.back().cnid) + 1, UINT32_MAX);
    for (std::size_t i = 0; i < entries_.size(); ++i) lookup_[entries_[i].cnid] = static_cast<std::uint32_t>(i);
}

std::size_t HFSP::indexOf(EntryRef cnid) const {
    if (!lookup_.empty()) {
        if (cnid >= lookup_.size() || lookup_[cnid] == UINT32_MAX) return entries_.size();
        return lookup_[cnid];
    }
    const auto it = std::lower_bound(entries_.begin(), entries_.end(), cnid,
                                     [](const HfsEntry& e, EntryRef c) { return e.cnid < c; });
    return it != entries_.end() && it->cnid == cnid ? static_cast<std::size_t>(it - entries_.begin())
                                                    : entries_.size();
}

const HfsEntry* HFSP::entry(EntryRef cnid) const {
    const std::size_t i = indexOf(cnid);
    return i < entries_.size() ? &entries_[i] : nullptr;
}

HfsEntry HFSP::makeEntry(const CatalogRecord& record, const NodeRecord& node, std::size_t offset) const {
    HfsEntry e;
    e.kind = record.type == CatalogType::Folder ? HfsKind::Folder : HfsKind::File;
    e.parent = record.parentId;
    e.cnid = record.cnid;
    e.name = utf8FromUtf16(record.name);
    e.nodeOffset = node.volumeOffset;
    e.recordOffset = static_cast<std::uint32_t>(offset);
    e.hasDates = true;
    e.createDate = record.createDate;
    e.contentModDate = record.contentModDate;
    e.accessDate = record.accessDate;
    e.fileMode = record.fileMode;
    e.deleted = !node.live;
    if (e.kind == HfsKind::File) {
        e.size = record.dataFork.logicalSize;
        e.totalBlocks = record.dataFork.totalBlocks;
        for (const HfsExtent& x : record.dataFork.extents) {
            if (x.blockCount == 0) break;
            e.extents.push_back(x);
        }
        e.hardLink = record.hardLink();
        e.linkNumber = record.special;
    }
    return e;
}

void HFSP::parseCatalogRecords(WorkControl& work) {
    work.range(0, static_cast<std::int64_t>(catalogNodes_.size()));
    // Live nodes come first and free-space records last, so a live record wins
    // over a stale copy of itself.
    std::vector<HfsEntry> fromFreeSpace;
    std::size_t records = 0;
    for (const NodeRecord& node : catalogNodes_) records += node.offsets.size();
    entries_.reserve(records / 2 + 1);  // about half of a catalog's records are threads
    for (std::size_t i = 0; i < catalogNodes_.size(); ++i) {
        if ((i & 255) == 0) work.position(static_cast<std::int64_t>(i));
        const NodeRecord& node = catalogNodes_[i];
        const std::vector<std::uint8_t> bytes = readNode(node, catalogNodeSize_);
        if (bytes.empty()) {
            warnings_.unreadable(node.volumeOffset);
            continue;
        }
        for (const std::uint16_t offset : node.offsets) {
            const auto record = decodeCatalogRecord(bytes, offset);
            if (record && record->cnid != 0) entries_.push_back(makeEntry(*record, node, offset));
        }
        if (!deep_) continue;
        for (const std::size_t offset : freeSpaceRecords(bytes, be16(bytes, 10))) {
            const auto record = decodeCatalogRecord(bytes, offset);
            if (!record || (header_.nextCatalogId > kFirstUserId && record->cnid >= header_.nextCatalogId)) continue;
            fromFreeSpace.push_back(makeEntry(*record, node, offset));
            fromFreeSpace.back().deleted = true;
        }
    }
    work.position(static_cast<std::int64_t>(catalogNodes_.size()));
    entries_.insert(entries_.end(), std::make_move_iterator(fromFreeSpace.begin()),
                    std::make_move_iterator(fromFreeSpace.end()));
    // Ascending CNID; of records with the same CNID the first found stays.
    std::stable_sort(entries_.begin(), entries_.end(), [](const HfsEntry& a, const HfsEntry& b) { return a.cnid < b.cnid; });
    entries_.erase(std::unique(entries_.begin(), entries_.end(),
                               [](const HfsEntry& a, const HfsEntry& b) { return a.cnid == b.cnid; }),
                   entries_.end());
    buildLookup();
    resolveHardLinks();
}

void HFSP::resolveHardLinks() {
    linkTargets_.resize(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i) linkTargets_[i] = i;
    std::uint64_t privateFolder = 0;
    for (const HfsEntry& e : entries_)
        if (e.folder() && e.parent == kRootFolderId && e.name == kPrivateDataName && !e.deleted) privateFolder = e.cnid;
    if (privateFolder == 0) return;
    std::unordered_map<std::string, std::size_t> inodes;
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (!entries_[i].folder() && entries_[i].parent == privateFolder) inodes.emplace(entries_[i].name, i);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (!entries_[i].hardLink) continue;
        const auto it = inodes.find("iNode" + std::to_string(entries_[i].linkNumber));
        if (it != inodes.end()) linkTargets_[i] = it->second;
    }
}

const HfsEntry& HFSP::contentOf(const HfsEntry& e) const {
    const std::size_t i = static_cast<std::size_t>(&e - entries_.data());
    return i < linkTargets_.size() ? entries_[linkTargets_[i]] : e;
}

void HFSP::linkChildren(WorkControl& work) {
    work.status("Maintaining Parent Child....");
    const std::size_t count = entries_.size();
    work.range(0, static_cast<std::int64_t>(count));
    // The folder for entries whose parent was not found takes the largest CNID + 1.
    HfsEntry orphans;
    orphans.kind = HfsKind::Folder;
    orphans.parent = kRootFolderId;
    orphans.cnid = entries_.empty() ? kRootFolderId + 1 : entries_.back().cnid + 1;
    orphans.name = kOrphanName;
    entries_.push_back(std::move(orphans));
    buildLookup();
    linkTargets_.push_back(count);
    orphanIndex_ = count;
    tree_.reset(entries_.size());

    std::vector<std::size_t> tops;
    std::size_t root = entries_.size();
    for (std::size_t i = 0; i < count; ++i) {
        if ((i & 1023) == 0) {
            if (!deep_)
                work.status(formatted("Maintaining Parent Child for record %lld of %lld....", static_cast<long long>(i),
                                      static_cast<long long>(count)));
            work.position(static_cast<std::int64_t>(i + 1));
        }
        const HfsEntry& e = entries_[i];
        if (e.cnid == kRootFolderId) {
            root = i;
            continue;
        }
        // The root folder is not shown: its children form the root level.
        if (e.parent == kRootFolderId) {
            tops.push_back(i);
            continue;
        }
        const std::size_t p = indexOf(e.parent);
        if (p < count && p != i && entries_[p].folder() && entries_[p].cnid != kRootFolderId) tree_.pushFront(p, i);
        else tree_.pushFront(orphanIndex_, i);
    }
    work.position(static_cast<std::int64_t>(count));
    // Folders that name each other as parents reach nowhere: cut them loose.
    std::vector<std::size_t> reachable = tops;
    reachable.push_back(orphanIndex_);
    tree_.rescueUnreachable(reachable, orphanIndex_, [&](std::size_t i) { return i != root && i != orphanIndex_; });
    rootTops_ = std::move(tops);
}

void HFSP::fillRootLevel(WorkControl& work) {
    rootLevel_.clear();
    long long i = 0;
    for (const std::size_t t : rootTops_) {
        const HfsEntry& e = entries_[t];
        work.status(formatted(e.folder() ? "found folder at Node %lld" : "found file at Node %lld", i++));
        rootLevel_.push_back(e.cnid);
    }
    if (deep_ || tree_.hasChildren(orphanIndex_)) rootLevel_.push_back(entries_[orphanIndex_].cnid);
}

}  // namespace tavrel::fs
