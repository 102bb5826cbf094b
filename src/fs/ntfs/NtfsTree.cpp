// Parsing MFT records into entries and linking them into the folder tree.
#include <algorithm>
#include <cstdio>

#include "fs/ntfs/RunList.h"
#include "fs/ntfs/ntfs.h"

namespace tavrel::fs {

namespace {
constexpr std::size_t kBatchBytes = 1 << 20;  // records are read in batches of up to 1 MiB

bool isUnnamedData(const AttributeHeader& a) { return a.type == kAttrData && a.nameLength == 0; }
}  // namespace

// The name and the parent come from the same $FILE_NAME: the first one that is
// not a DOS 8.3 alias, or the DOS name when the record has nothing else. Taking
// them from one attribute keeps a hard-linked file from showing one link's name
// in the other link's folder. The size is that of the unnamed $DATA's first
// extent (a non-resident one wins over a resident one); the times come from
// $STANDARD_INFORMATION and the attribute text from the last $FILE_NAME.
namespace {
// A deleted record's $DATA held in one run of clusters is kept in the entry.
void keepSingleRun(ByteSpan record, const AttributeHeader& a, NtfsEntry& e) {
    if (a.lastVcn < a.firstVcn || e.dataLcn != -1) return;
    const std::uint64_t span = a.lastVcn - a.firstVcn + 1;
    const RunListResult r = decodeRunList(runListBytes(record, a), span);
    if (r.damaged || r.runs.size() != 1 || r.runs[0].sparse || r.runs[0].lcn < 0 || r.runs[0].length != span) return;
    e.dataLcn = r.runs[0].lcn;
    e.dataClusters = span;
}
}  // namespace

void readEntryFields(const LoadedRecord& record, NtfsEntry& e) {
    const RecordHeader& header = record.header;
    e.tag = header.tag;
    e.sequence = header.sequence;
    e.recordFlags = header.flags;
    e.baseRecord = header.baseReference & 0xFFFFFFFFFFFFULL;
    std::optional<FileNameValue> chosen;
    bool folder = (header.flags & 0x2) != 0;
    for (const auto& a : record.attributes) {
        if (a.type == kAttrAttributeList) {
            e.hasAttributeList = true;
        } else if (isUnnamedData(a)) {
            if (!a.nonResident && e.dataResidency == 0) {
                e.dataResidency = 'R';
                e.dataSize = a.valueLength;
            } else if (a.nonResident && a.firstVcn == 0 && e.dataResidency != 'N') {
                e.dataResidency = 'N';
                e.dataSize = a.realSize;
                if ((header.flags & 1) == 0) keepSingleRun(record.bytes, a, e);
            } else if (a.nonResident) {
                e.dataLcn = -2;  // more than one extent: read them when asked
            }
        }
        if (a.nonResident) continue;
        if (a.type == kAttrStandardInformation && !e.hasTimes) {
            if (const auto si = decodeStandardInformation(record.value(a))) {
                e.hasTimes = true;
                e.created = si->created;
                e.modified = si->modified;
                e.accessed = si->accessed;
            }
        } else if (a.type == kAttrFileName) {
            auto fn = decodeFileName(record.value(a));
            if (!fn) continue;
            e.nameAttributes = fn->fileAttributes;
            if (fn->fileAttributes & kFileAttrDirectory) folder = true;
            const bool dosOnly = fn->nameSpace == 2;
            if (!chosen || (chosen->nameSpace == 2 && !dosOnly)) chosen = std::move(fn);
        }
    }
    if (folder) e.kind = 'D';
    if (!chosen) return;
    e.name = std::move(chosen->name);
    e.hasName = true;
    e.allocatedSize = chosen->allocatedSize;
    e.parentRecord = chosen->parentRecord;
    e.parentSequence = chosen->parentSequence;
}

std::optional<std::size_t> ntfs::indexOfRecord(std::int64_t recordNumber) const {
    if (!mftLocated_ || recordNumber < 0) return std::nullopt;
    const auto slot = layout_.slotOf(static_cast<std::uint64_t>(recordNumber));
    if (!slot || *slot >= entries_.size() || (orphanIndex_ >= 0 && *slot >= static_cast<std::uint64_t>(orphanIndex_)))
        return std::nullopt;
    return static_cast<std::size_t>(*slot);
}

// When a record's attributes overflow into extension records, its $FILE_NAME
// may sit in one of them. The name then belongs to the base record; extension
// records never stand in the tree themselves.
void ntfs::adoptExtensionNames() {
    for (NtfsEntry& ext : entries_) {
        if (ext.baseRecord == 0 || ext.tag != kFileTag) continue;
        const auto b = indexOfRecord(static_cast<std::int64_t>(ext.baseRecord & 0x7FFFFFFFFFFFULL));
        if (b && ext.hasName) {
            NtfsEntry& base = entries_[*b];
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

// A file whose $DATA lives in extension records (it has an attribute list and
// no $DATA of its own) gets its size now, while the scan still reads, so that
// listing never has to.
void ntfs::fillListedSizes() {
    for (NtfsEntry& e : entries_) {
        if (!e.hasName || !e.hasAttributeList || e.dataResidency != 0 || e.kind == 'D') continue;
        const DataStream d = gatherData(e);
        if (!d.info.present) continue;
        e.dataResidency = d.info.residency;
        e.dataSize = d.info.realSize;
    }
}

void ntfs::buildTree(WorkControl& work) {
    if (mftLocated_ && !work.stopRequested()) {
        const std::size_t count = entries_.size();
        work.range(0, static_cast<std::int64_t>(count));
        std::vector<std::uint8_t> batch;
        std::size_t i = 0;
        while (i < count) {
            if (!work.checkpoint()) break;
            // Consecutive slots that lie back to back on disk are read at once;
            // a record the MFT's runs split is read alone, from its pieces.
            const auto split = [this](std::size_t k) { return layout_.splitAt(entries_[k].recordOffset) != nullptr; };
            if (split(i)) {
                if (const auto record = loadRecord(entries_[i].recordOffset)) readEntryFields(*record, entries_[i]);
                ++i;
                continue;
            }
            std::size_t j = i + 1;
            while (j < count && (j - i + 1) * recordSize_ <= kBatchBytes &&
                   entries_[j].recordOffset == entries_[j - 1].recordOffset + recordSize_ && !split(j))
                ++j;
            if ((i / 1024) != ((j - 1) / 1024) || i == 0) {
                char text[64];
                std::snprintf(text, sizeof text, "parsing MFT entry %zu...", i);
                work.status(text);
                work.position(static_cast<std::int64_t>(i));
            }
            batch.assign((j - i) * recordSize_, 0);
            if (!volume_.readAt(entries_[i].recordOffset, batch)) warnings_.unreadable(entries_[i].recordOffset);
            for (std::size_t k = i; k < j; ++k) {
                const ByteSpan bytes = ByteSpan(batch).subspan((k - i) * recordSize_, recordSize_);
                if (const auto record = loader_.fromBytes(entries_[k].recordOffset, bytes))
                    readEntryFields(*record, entries_[k]);
            }
            i = j;
        }
        work.position(static_cast<std::int64_t>(count));
        adoptExtensionNames();
    }
    if (!work.stopRequested()) fillListedSizes();

    NtfsEntry orphan;
    orphan.tag = kFileTag;
    orphan.name = kOrphanName;
    orphan.hasName = true;
    orphan.kind = 'D';
    orphan.recordFlags = 1;
    orphan.recordOffset = -1;
    orphanIndex_ = static_cast<std::int64_t>(entries_.size());
    entries_.push_back(std::move(orphan));

    rootIndex_ = static_cast<std::int64_t>(entries_.size());
    for (std::size_t i = 0; i + 1 < entries_.size(); ++i) {
        if (entries_[i].hasName && entries_[i].name == ".") {
            rootIndex_ = static_cast<std::int64_t>(i);
            break;
        }
    }
    tree_.reset(entries_.size());
    if (scanMode_ == 3 || recordHunt_) {
        linkDeep();
    } else {
        linkTree();
        linkOrphans();
    }
    // Parent numbers on a damaged volume can form loops (A in B, B in A) that
    // no walk from the top reaches; each such group is cut loose under
    // "ORPHAN_ENTRY".
    std::vector<std::size_t> tops{static_cast<std::size_t>(orphanIndex_)};
    if (rootIndex_ < orphanIndex_) tops.push_back(static_cast<std::size_t>(rootIndex_));
    tree_.rescueUnreachable(tops, static_cast<std::size_t>(orphanIndex_),
                            [this](std::size_t i) { return entries_[i].hasName; });
    fillRootLevel();
}

bool ntfs::sameParent(const NtfsEntry& child, const NtfsEntry& parent) {
    if (child.parentSequence == 0 || parent.sequence == 0) return true;  // volumes without sequence numbers
    if (child.parentSequence == parent.sequence) return true;
    const bool parentFreed = (parent.recordFlags & 1) == 0;
    return parentFreed && static_cast<std::uint16_t>(child.parentSequence + 1) == parent.sequence;
}

// Standard and Advanced modes: the parent number names the parent's slot.
// Children stay in record order. A parent that is missing, the entry itself, or
// not a folder makes the entry an orphan; so does a parent slot that was reused
// since (its sequence number moved on). Freeing a record advances its sequence
// number by one, so a deleted parent may be one ahead.
void ntfs::linkTree() {
    const auto orphans = static_cast<std::size_t>(orphanIndex_);
    for (std::size_t i = 0; i < orphans; ++i) {
        NtfsEntry& e = entries_[i];
        if (!e.hasName || static_cast<std::int64_t>(i) == rootIndex_) continue;
        const auto p = indexOfRecord(e.parentRecord);
        if (!p || *p == i || entries_[*p].kind != 'D' || !sameParent(e, entries_[*p])) {
            e.orphan = true;
            continue;
        }
        tree_.append(*p, i);
    }
    // "ORPHAN_ENTRY" is the root's last child.
    if (rootIndex_ < orphanIndex_) tree_.append(static_cast<std::size_t>(rootIndex_), orphans);
}

void ntfs::linkOrphans() {
    const std::size_t count = entries_.size();
    const auto orphans = static_cast<std::size_t>(orphanIndex_);
    // Each orphan is pushed at the head of the orphan folder's child list.
    for (std::size_t i = 0; i < count; ++i)
        if (entries_[i].orphan) tree_.pushFront(orphans, i);
}

// The top level: the root's children in record order, "ORPHAN_ENTRY" last.
// A volume whose root was not found shows "ORPHAN_ENTRY" alone, so that
// whatever was found stays reachable.
void ntfs::fillRootLevel() {
    rootLevel_.clear();
    if (rootIndex_ < orphanIndex_) rootLevel_ = children(static_cast<EntryRef>(rootIndex_));
    if (std::find(rootLevel_.begin(), rootLevel_.end(), static_cast<EntryRef>(orphanIndex_)) == rootLevel_.end())
        rootLevel_.push_back(static_cast<EntryRef>(orphanIndex_));
}

}  // namespace tavrel::fs
