// Deep mode: one entry per record number, and the folder tree from the parent
// references of records found anywhere on the volume.
#include <algorithm>
#include <unordered_map>

#include "fs/ntfs/ntfs.h"

namespace tavrel::fs {

// Where the $MFT's own runs put record `number`, or -1. The runs come from a
// found copy of record 0 that lies where its first run begins (the real $MFT
// record, not its copy in $MFTMirr).
std::int64_t ntfs::deepMftPlaceOf(std::uint64_t number) const {
    const std::uint64_t byte = number * recordSize_;
    std::uint64_t start = 0;
    for (const MftRun& run : deepMftRuns_) {
        const std::uint64_t length = run.length * static_cast<std::uint64_t>(clusterSize_);
        if (byte < start + length) {
            if (run.sparse) return -1;
            return run.lcn * clusterSize_ + static_cast<std::int64_t>(byte - start);
        }
        start += length;
    }
    return -1;
}

// Records 0 to 3 are found twice on an intact volume: in the MFT and in
// $MFTMirr; a stale copy of any record may also lie in free space. One copy
// stands for each number: the one at the place the $MFT's runs give that
// number, else the first found in disk order. A copy of a record number the
// $MFT's runs do not place (or before record 0 is known) is kept by disk order.
void ntfs::keepOneCopyPerRecord() {
    std::unordered_map<std::uint64_t, std::size_t> chosen;  // record number -> index in entries_
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const NtfsEntry& e = entries_[i];
        if (!e.numbered) continue;
        const auto [it, fresh] = chosen.emplace(e.recordNumber, i);
        if (!fresh && e.recordOffset == deepMftPlaceOf(e.recordNumber)) it->second = i;
    }
    std::vector<NtfsEntry> kept;
    kept.reserve(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        NtfsEntry& e = entries_[i];
        if (e.numbered) {
            if (chosen.at(e.recordNumber) != i) continue;
            foundRecords_[e.recordNumber] = e.recordOffset;
        }
        kept.push_back(std::move(e));
    }
    entries_ = std::move(kept);
}

// The $MFT's runs, from a found copy of record 0 that lies where its first run
// begins. Where one of them ends inside a record, the scan found the record's
// first piece followed by unrelated bytes: such a record is read again from
// its pieces. Records torn for other reasons count as damaged.
void ntfs::rereadSplitRecords() {
    deepMftRuns_.clear();
    layout_ = MftLayout{};
    for (const NtfsEntry& e : entries_) {
        if (!e.numbered || e.recordNumber != 0 || e.name != "$MFT") continue;
        auto runs = readRuns(e.recordOffset, kAttrData);
        if (!runs.empty() && !runs.front().sparse && runs.front().lcn > 0 &&
            runs.front().lcn * clusterSize_ == e.recordOffset) {
            deepMftRuns_ = std::move(runs);
            break;
        }
    }
    if (!deepMftRuns_.empty()) layout_ = buildLayout(deepMftRuns_);
    for (const std::int64_t offset : tornFound_)
        if (!layout_.splitAt(offset)) warnings_.damaged(offset);
    tornFound_.clear();
    for (NtfsEntry& e : entries_) {
        if (!layout_.splitAt(e.recordOffset)) continue;
        const auto record = loadRecord(e.recordOffset);
        if (!record) continue;
        NtfsEntry fresh;
        readEntryFields(*record, fresh);
        fresh.recordOffset = e.recordOffset;
        fresh.recordNumber = e.recordNumber;
        fresh.numbered = e.numbered;
        fresh.orphan = fresh.hasName;
        e = std::move(fresh);
    }
    // As for every record found, one without a name is not kept.
    std::erase_if(entries_, [](const NtfsEntry& e) { return !e.hasName; });
}

// Records that carry their number are linked as in the standard modes: each
// under the record its parent reference names (number and sequence number), in
// record-number order, the root's children first and "ORPHAN_ENTRY" last.
// Records without a number (NTFS 3.0) keep the disk-order rule: folders under
// "ORPHAN_ENTRY" (latest found first), and each file under the unnumbered
// folder found last before it on disk. Past 100000 such folders, folders are
// placed like files.
void ntfs::linkDeep() {
    const auto orphans = static_cast<std::size_t>(orphanIndex_);
    std::unordered_map<std::uint64_t, std::size_t> byNumber;
    std::vector<std::size_t> numbered;
    for (std::size_t i = 0; i < orphans; ++i) {
        if (!entries_[i].numbered) continue;
        byNumber.emplace(entries_[i].recordNumber, i);
        numbered.push_back(i);
    }
    std::stable_sort(numbered.begin(), numbered.end(), [this](std::size_t a, std::size_t b) {
        return entries_[a].recordNumber < entries_[b].recordNumber;
    });
    for (const std::size_t i : numbered) {
        NtfsEntry& e = entries_[i];
        e.orphan = false;
        if (!e.hasName || static_cast<std::int64_t>(i) == rootIndex_) continue;
        const auto p = e.parentRecord < 0 ? byNumber.end() : byNumber.find(static_cast<std::uint64_t>(e.parentRecord));
        if (p == byNumber.end() || p->second == i || entries_[p->second].kind != 'D' ||
            !sameParent(e, entries_[p->second])) {
            e.orphan = true;
            continue;
        }
        tree_.append(p->second, i);
    }
    if (rootIndex_ < orphanIndex_) tree_.append(static_cast<std::size_t>(rootIndex_), orphans);
    for (std::size_t i = 0; i < orphans; ++i)
        if (entries_[i].numbered && entries_[i].orphan) tree_.pushFront(orphans, i);

    std::size_t current = orphans;
    bool first = true;
    std::int64_t placed = 0;
    for (std::size_t i = 0; i < orphans; ++i) {
        if (entries_[i].numbered || static_cast<std::int64_t>(i) == rootIndex_) continue;
        entries_[i].orphan = true;
        if (entries_[i].kind == 'D' && (first || placed < 100000)) {
            if (!first) ++placed;
            tree_.pushFront(orphans, i);
            current = i;
            first = false;
            continue;
        }
        tree_.pushFront(current, i);
    }
}

}  // namespace tavrel::fs
