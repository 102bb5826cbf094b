// Parsing MFT records into entries and linking them into the folder tree.
#include <algorithm>
#include <cstdio>

#include "fs/ntfs/ntfs.h"

namespace tavrel::fs {

namespace {
constexpr std::size_t kBatchBytes = 1 << 20;  // records are read in batches of up to 1 MiB
}

bool ntfs::parseRecord(std::int64_t offset, std::size_t index) {
    if (index >= entries_.size()) return false;
    std::vector<std::uint8_t> record;
    if (!readRecord(offset, record)) return false;
    parseRecordBytes(record, index);
    return true;
}

// Fills entry `index` from the record's bytes (fixed up here). The name and the
// parent come from the same $FILE_NAME: the first one that is not a DOS 8.3
// alias, or the DOS name when the record has nothing else. Taking them from one
// attribute keeps a hard-linked file from showing one link's name in the other
// link's folder.
void ntfs::parseRecordBytes(std::vector<std::uint8_t>& record, std::size_t index) {
    NtfsEntry& e = entries_[index];
    e.tag = le32(record, 0);
    if (e.tag != kFileTag) return;
    applyFixup(record);
    const RecordHeader header = decodeRecordHeader(record);
    e.sequence = header.sequence;
    e.recordFlags = header.flags;
    e.baseRecord = header.baseReference & 0xFFFFFFFFFFFFULL;
    const auto attributes = collectAttributes(record);
    std::optional<FileNameValue> chosen;
    bool folder = (header.flags & 0x2) != 0;
    for (const auto& a : attributes) {
        if (a.type != kAttrFileName || a.nonResident) continue;
        auto fn = decodeFileName(residentValue(record, a));
        if (!fn) continue;
        if (fn->fileAttributes & kFileAttrDirectory) folder = true;
        const bool dosOnly = fn->nameSpace == 2;
        if (!chosen || (chosen->nameSpace == 2 && !dosOnly)) chosen = std::move(fn);
    }
    if (folder) e.kind = 'D';
    if (!chosen) return;
    e.name = std::move(chosen->name);
    e.hasName = true;
    e.allocatedSize = chosen->allocatedSize;
    e.parentRecord = chosen->parentRecord;
    e.parentSequence = chosen->parentSequence;
}

// When a record's attributes overflow into extension records, its $FILE_NAME
// may sit in one of them. The name then belongs to the base record; extension
// records never stand in the tree themselves.
void ntfs::adoptExtensionNames() {
    const auto count = static_cast<std::uint64_t>(entries_.size());
    for (NtfsEntry& ext : entries_) {
        if (ext.baseRecord == 0 || ext.tag != kFileTag) continue;
        if (ext.baseRecord < count && ext.hasName) {
            NtfsEntry& base = entries_[ext.baseRecord];
            if (base.tag == kFileTag && !base.hasName && base.baseRecord == 0) {
                base.name = ext.name;
                base.hasName = true;
                base.parentRecord = ext.parentRecord;
                base.parentSequence = ext.parentSequence;
                base.allocatedSize = ext.allocatedSize;
                if (ext.kind == 'D') base.kind = 'D';
            }
        }
        ext.hasName = false;
        ext.name.clear();
    }
}

void ntfs::buildTree(WorkControl& work) {
    if (mftLocated_ && !work.stopRequested()) {
        const std::size_t count = entries_.size();
        work.range(0, static_cast<std::int64_t>(count));
        std::vector<std::uint8_t> batch;
        std::vector<std::uint8_t> record;
        std::size_t i = 0;
        while (i < count) {
            if (!work.checkpoint()) break;
            // Consecutive slots that lie back to back on disk are read at once.
            std::size_t j = i + 1;
            if (entries_[i].recordOffset >= 0) {
                while (j < count && (j - i + 1) * recordSize_ <= kBatchBytes &&
                       entries_[j].recordOffset == entries_[j - 1].recordOffset + recordSize_)
                    ++j;
            }
            if ((i / 1024) != ((j - 1) / 1024) || i == 0) {
                char text[64];
                std::snprintf(text, sizeof text, "parsing MFT entry %zu...", i);
                work.status(text);
                work.position(static_cast<std::int64_t>(i));
            }
            if (entries_[i].recordOffset >= 0) {
                batch.assign((j - i) * recordSize_, 0);
                volume_.readAt(entries_[i].recordOffset, batch);
                for (std::size_t k = i; k < j; ++k) {
                    const auto from = batch.begin() + static_cast<std::ptrdiff_t>((k - i) * recordSize_);
                    record.assign(from, from + recordSize_);
                    parseRecordBytes(record, k);
                }
            }
            i = j;
        }
        work.position(static_cast<std::int64_t>(count));
        adoptExtensionNames();
    }

    NtfsEntry orphan;
    orphan.tag = kFileTag;
    orphan.name = kOrphanName;
    orphan.hasName = true;
    orphan.kind = 'D';
    orphan.recordFlags = 1;
    orphan.recordOffset = -1;
    orphan.selfIndex = static_cast<std::int64_t>(entries_.size());
    orphanIndex_ = orphan.selfIndex;
    entries_.push_back(std::move(orphan));

    rootIndex_ = static_cast<std::int64_t>(entries_.size());
    for (std::size_t i = 0; i + 1 < entries_.size(); ++i) {
        if (entries_[i].hasName && entries_[i].name == ".") {
            rootIndex_ = static_cast<std::int64_t>(i);
            break;
        }
    }
    if (scanMode_ != 3) linkTree();
    linkOrphans();
    if (scanMode_ != 3) rescueUnreachable();
    fillRootLevel();
}

bool ntfs::sameParent(const NtfsEntry& child, const NtfsEntry& parent) {
    if (child.parentSequence == 0 || parent.sequence == 0) return true;  // volumes without sequence numbers
    if (child.parentSequence == parent.sequence) return true;
    const bool parentFreed = (parent.recordFlags & 1) == 0;
    return parentFreed && static_cast<std::uint16_t>(child.parentSequence + 1) == parent.sequence;
}

// Appends entry `index` at the end of its parent's child chain (children stay
// in record order); `lastChild` remembers each chain's tail.
void ntfs::linkChild(std::size_t index, std::vector<std::int64_t>& lastChild) {
    const auto parent = static_cast<std::size_t>(entries_[index].parentRecord);
    if (lastChild[parent] < 0) entries_[parent].firstChild = static_cast<std::int64_t>(index);
    else entries_[static_cast<std::size_t>(lastChild[parent])].nextSibling = static_cast<std::int64_t>(index);
    entries_[index].nextSibling = -1;
    lastChild[parent] = static_cast<std::int64_t>(index);
}

// Standard and Advanced modes: an entry's index is its record number, so the
// parent number names the parent's entry. A parent that is out of range, the
// entry itself, or not a folder makes the entry an orphan; so does a parent
// slot that was reused since (its sequence number moved on). Freeing a record
// advances its sequence number by one, so a deleted parent may be one ahead.
void ntfs::linkTree() {
    const std::size_t count = entries_.size();
    std::vector<std::int64_t> lastChild(count, -1);
    for (std::size_t i = 0; i < count; ++i) {
        NtfsEntry& e = entries_[i];
        if (!e.hasName || static_cast<std::int64_t>(i) == orphanIndex_ || static_cast<std::int64_t>(i) == rootIndex_)
            continue;
        const std::int64_t p = e.parentRecord;
        if (p < 0 || p >= orphanIndex_ || p == static_cast<std::int64_t>(i) || entries_[static_cast<std::size_t>(p)].kind != 'D' ||
            !sameParent(e, entries_[static_cast<std::size_t>(p)])) {
            e.orphan = true;
            continue;
        }
        linkChild(i, lastChild);
    }
    // "ORPHAN_ENTRY" is the root's last child.
    if (rootIndex_ < orphanIndex_) {
        entries_[static_cast<std::size_t>(orphanIndex_)].parentRecord = rootIndex_;
        linkChild(static_cast<std::size_t>(orphanIndex_), lastChild);
    }
}

void ntfs::linkOrphans() {
    const std::size_t count = entries_.size();
    NtfsEntry& orphanFolder = entries_[static_cast<std::size_t>(orphanIndex_)];
    if (scanMode_ == 3) {
        // Record numbers are unknown: every folder goes under "ORPHAN_ENTRY"
        // (latest found first), and every file under the folder found last
        // before it on disk. Past 100000 folders, folders are placed like files.
        std::int64_t current = orphanIndex_;
        bool first = true;
        std::int64_t placed = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const auto idx = static_cast<std::int64_t>(i);
            if (idx == orphanIndex_ || idx == rootIndex_) continue;
            NtfsEntry& e = entries_[i];
            e.firstChild = -1;
            e.parentRecord = 0;
            e.nextSibling = -1;
            if (e.kind == 'D' && (first || placed < 100000)) {
                if (!first) ++placed;
                e.parentRecord = orphanIndex_;
                e.nextSibling = orphanFolder.firstChild;
                orphanFolder.firstChild = idx;
                current = idx;
                first = false;
                continue;
            }
            NtfsEntry& folder = entries_[static_cast<std::size_t>(current)];
            e.parentRecord = current;
            e.nextSibling = folder.firstChild;
            folder.firstChild = idx;
        }
        return;
    }
    // Each orphan is pushed at the head of the orphan folder's child list.
    for (std::size_t i = 0; i < count; ++i) {
        NtfsEntry& e = entries_[i];
        if (!e.orphan) continue;
        e.nextSibling = orphanFolder.firstChild;
        orphanFolder.firstChild = static_cast<std::int64_t>(i);
    }
}

// Parent numbers on a damaged volume can form loops (A in B, B in A) that no
// walk from the top reaches. Each such group is cut loose at one member, which
// goes under "ORPHAN_ENTRY", so every named entry stays reachable and every
// walk down the tree ends.
void ntfs::rescueUnreachable() {
    const std::size_t count = entries_.size();
    std::vector<char> reached(count, 0);
    std::vector<std::size_t> stack;
    auto markFrom = [&](std::size_t start) {
        stack.push_back(start);
        while (!stack.empty()) {
            const std::size_t n = stack.back();
            stack.pop_back();
            if (reached[n]) continue;
            reached[n] = 1;
            for (std::int64_t c = entries_[n].firstChild; c >= 0 && static_cast<std::size_t>(c) < count;
                 c = entries_[static_cast<std::size_t>(c)].nextSibling)
                if (!reached[static_cast<std::size_t>(c)]) stack.push_back(static_cast<std::size_t>(c));
        }
    };
    if (rootIndex_ < orphanIndex_) markFrom(static_cast<std::size_t>(rootIndex_));
    markFrom(static_cast<std::size_t>(orphanIndex_));

    std::vector<std::uint32_t> seen(count, 0);
    std::uint32_t stamp = 0;
    NtfsEntry& orphanFolder = entries_[static_cast<std::size_t>(orphanIndex_)];
    for (std::size_t i = 0; i < count; ++i) {
        if (reached[i] || !entries_[i].hasName) continue;
        // Climb the parent links until a member repeats: that one is cut loose.
        ++stamp;
        std::size_t n = i;
        while (seen[n] != stamp) {
            seen[n] = stamp;
            const std::int64_t p = entries_[n].parentRecord;
            if (p < 0 || static_cast<std::size_t>(p) >= count || reached[static_cast<std::size_t>(p)]) break;
            n = static_cast<std::size_t>(p);
        }
        if (reached[n]) continue;
        // Unlink n from its parent's chain.
        const std::int64_t p = entries_[n].parentRecord;
        if (p >= 0 && static_cast<std::size_t>(p) < count) {
            NtfsEntry& parent = entries_[static_cast<std::size_t>(p)];
            if (parent.firstChild == static_cast<std::int64_t>(n)) {
                parent.firstChild = entries_[n].nextSibling;
            } else {
                std::int64_t c = parent.firstChild;
                for (std::size_t steps = 0; c >= 0 && steps < count; ++steps) {
                    NtfsEntry& sib = entries_[static_cast<std::size_t>(c)];
                    if (sib.nextSibling == static_cast<std::int64_t>(n)) {
                        sib.nextSibling = entries_[n].nextSibling;
                        break;
                    }
                    c = sib.nextSibling;
                }
            }
        }
        entries_[n].orphan = true;
        entries_[n].nextSibling = orphanFolder.firstChild;
        orphanFolder.firstChild = static_cast<std::int64_t>(n);
        markFrom(n);
    }
}

// The top level: the root's children in record order, "ORPHAN_ENTRY" last.
// Deep mode, or a volume whose root was not found, shows "ORPHAN_ENTRY" alone,
// so that whatever was found stays reachable.
void ntfs::fillRootLevel() {
    rootLevel_.clear();
    if (scanMode_ != 3 && rootIndex_ < orphanIndex_) rootLevel_ = children(static_cast<EntryRef>(rootIndex_));
    if (std::find(rootLevel_.begin(), rootLevel_.end(), static_cast<EntryRef>(orphanIndex_)) == rootLevel_.end())
        rootLevel_.push_back(static_cast<EntryRef>(orphanIndex_));
}

}  // namespace tavrel::fs
