// The entry view of the ext parser: tree links, names, sizes, the list texts,
// and the save, each reading no more than the one inode it needs.
#include <algorithm>

#include "fs/ExtentCopy.h"
#include "fs/UnixPermissions.h"
#include "fs/ext/ExtBlockMap.h"
#include "fs/ext/ext2Class.h"
#include "util/Texts.h"

namespace tavrel::fs {

using namespace ext;

namespace {

constexpr const char* kMapClearedText =
    "The block map of this deleted file was cleared when it was deleted: its content cannot be recovered.";
constexpr const char* kNoInodeText = "The inode of this entry cannot be read.";
constexpr const char* kNoInodeNumberText = "This deleted name no longer names an inode: its content cannot be recovered.";
// The attribute column's note on a deleted file whose block map is gone.
constexpr const char* kMapClearedNote = " (no block map)";

// ext keeps Unix times in UTC; the list shows them in the local time zone.
std::string localTimeText(const std::optional<TimePoint>& p) {
    return p ? tavrel::localTimeText(p->seconds) : std::string{};
}

}  // namespace

std::vector<EntryRef> ext2Class::rootLevel() const { return rootLevel_; }

std::vector<EntryRef> ext2Class::children(EntryRef e) const {
    return validRef(e) ? table_.children(static_cast<std::size_t>(e)) : std::vector<EntryRef>{};
}

bool ext2Class::isFolder(EntryRef e) const { return validRef(e) && entries_[e].folder(); }
bool ext2Class::hasChildren(EntryRef e) const { return validRef(e) && table_.hasChildren(static_cast<std::size_t>(e)); }
bool ext2Class::isDeleted(EntryRef e) const { return validRef(e) && entries_[e].deleted; }
std::string ext2Class::name(EntryRef e) const { return validRef(e) ? entries_[e].name : std::string(); }

std::int64_t ext2Class::size(EntryRef e) const {
    if (!validRef(e) || entries_[e].folder() || entries_[e].synthetic) return 0;
    const std::uint64_t s = entries_[e].size;
    return s > static_cast<std::uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<std::int64_t>(s);
}

std::string ext2Class::sizeText(EntryRef e) const { return tavrel::sizeText(size(e)); }

std::int64_t ext2Class::inodeOffset(std::uint32_t number) const {
    if (number == 0 || number > inodeRecords_) return -1;
    const std::uint64_t index = number - 1;
    const std::uint64_t g = index / sb_.inodesPerGroup;
    if (g >= groups_.size()) return -1;
    const std::uint64_t table = groups_[g].inodeTable;
    if (table == 0 || table >= sb_.blocksCount) return -1;
    return static_cast<std::int64_t>(table) * sb_.blockSize() +
           static_cast<std::int64_t>((index % sb_.inodesPerGroup) * sb_.inodeSize);
}

std::optional<ExtInode> ext2Class::loadInode(std::uint32_t number) const {
    const std::int64_t at = inodeOffset(number);
    if (at < 0) return std::nullopt;
    std::vector<std::uint8_t> bytes(sb_.inodeSize);
    if (!volume_.readAt(at, bytes)) return std::nullopt;
    return decodeInode(bytes, sb_);
}

EntryTimes ext2Class::times(EntryRef e) const {
    EntryTimes t;
    if (!validRef(e) || entries_[e].synthetic) return t;
    // The list's creation column has always shown the inode change time.
    t.created = entries_[e].changed;
    t.modified = entries_[e].modified;
    t.accessed = entries_[e].accessed;
    return t;
}

EntryDescription ext2Class::describeEntry(EntryRef e) const {
    EntryDescription d;
    if (!validRef(e) || entries_[e].synthetic) return d;
    const ExtEntry& entry = entries_[e];
    // The scan kept what the texts need of every inode it decoded; only a name
    // whose inode slot the scan passed over (never used, or beyond the group's
    // used slots) has its inode read here.
    std::uint16_t mode = entry.inodeMode;
    std::optional<TimePoint> changed = entry.changed, accessed = entry.accessed, modified = entry.modified;
    if (!entry.scanned) {
        const auto inode = loadInode(entry.inode);
        if (!inode) return d;
        mode = inode->mode;
        changed = inode->changed;
        accessed = inode->accessed;
        modified = inode->modified;
    }
    d.created = localTimeText(changed);
    d.accessed = localTimeText(accessed);
    d.modified = localTimeText(modified);
    d.attributes = permissionText(mode);
    if (entry.deleted && entry.mapCleared && !entry.folder()) d.attributes += kMapClearedNote;
    return d;
}

bool ext2Class::saveFile(EntryRef e, ByteSink& out, WorkControl& work) {
    if (!ready_ || !validRef(e) || entries_[e].synthetic || entries_[e].folder()) return false;
    const ExtEntry& entry = entries_[e];
    const auto inode = loadInode(entry.inode);
    if (!inode) {
        // A removed name that lost its inode number has nothing to read.
        message_ = entry.inode == 0 ? kNoInodeNumberText : kNoInodeText;
        if (inodeOffset(entry.inode) >= 0) warnings_.unreadable(inodeOffset(entry.inode));
        return false;
    }
    // The inode may since have been reused for a folder: it holds nothing of this file.
    if (inode->isDirectory()) return false;
    const std::uint64_t size = inode->size;
    if (size == 0) return true;
    CountingSink counted(out);
    if (inode->fastSymlink() || inode->inlineData()) {
        std::vector<std::uint8_t> data(inode->blockMap.begin(), inode->blockMap.end());
        if (inode->inlineData()) data.insert(data.end(), inode->inlineTail.begin(), inode->inlineTail.end());
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, data.size()));
        if (!counted.write(ByteSpan(data.data(), n))) return false;
        return counted.written == static_cast<std::int64_t>(size);
    }
    if ((entry.deleted || inode->freed()) && inode->mapCleared()) {
        message_ = kMapClearedText;
        return false;
    }
    const ExtBlockMapper mapper(volume_, sb_, &warnings_);
    const BlockMapResult map = mapper.map(*inode, size, true);
    if (map.damaged) warnings_.damaged(map.where >= 0 ? map.where : inodeOffset(entry.inode));
    const auto bytes = static_cast<std::int64_t>(std::min<std::uint64_t>(size, INT64_MAX));
    const CopyResult r = copyExtents(volume_, map.extents.extents(), bytes, counted, work, &warnings_);
    return r == CopyResult::Complete && counted.written == bytes && !map.damaged;
}

}  // namespace tavrel::fs
