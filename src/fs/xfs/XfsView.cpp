// The entry view of the XFS parser: tree links, names, sizes, the list texts,
// and the save, each reading no more than the one inode it needs.
#include <algorithm>

#include "fs/ExtentCopy.h"
#include "fs/UnixPermissions.h"
#include "fs/xfs/XfsClass.h"
#include "fs/xfs/XfsExtents.h"
#include "fs/xfs/XfsTexts.h"
#include "util/Texts.h"

namespace tavrel::fs {

using namespace xfs;

namespace {

constexpr std::uint32_t kSymlinkMagic = 0x58534C4D;  // "XSLM": a version 5 symlink block's header
constexpr std::size_t kSymlinkHeader = 56;
constexpr std::uint64_t kMaxSymlink = 1024;

std::string localTimeText(const std::optional<TimePoint>& p) {
    return p ? tavrel::localTimeText(p->seconds) : std::string{};
}

}  // namespace

std::vector<EntryRef> XfsClass::rootLevel() const { return rootLevel_; }

std::vector<EntryRef> XfsClass::children(EntryRef e) const {
    return validRef(e) ? table_.children(static_cast<std::size_t>(e)) : std::vector<EntryRef>{};
}

bool XfsClass::isFolder(EntryRef e) const { return validRef(e) && entries_[e].folder(); }
bool XfsClass::hasChildren(EntryRef e) const { return validRef(e) && table_.hasChildren(static_cast<std::size_t>(e)); }
bool XfsClass::isDeleted(EntryRef e) const { return validRef(e) && entries_[e].deleted; }
std::string XfsClass::name(EntryRef e) const { return validRef(e) ? entries_[e].name : std::string(); }

std::int64_t XfsClass::size(EntryRef e) const {
    if (!validRef(e) || entries_[e].folder() || entries_[e].synthetic) return 0;
    return static_cast<std::int64_t>(std::min<std::uint64_t>(entries_[e].size, INT64_MAX));
}

std::string XfsClass::sizeText(EntryRef e) const { return tavrel::sizeText(size(e)); }

std::optional<XfsInode> XfsClass::loadInode(std::uint64_t number) const {
    const std::int64_t at = sb_.inodeOffset(number);
    if (at < 0) return std::nullopt;
    const std::int64_t block = at - at % sb_.blockSize;
    if (block != cachedBlock_) {
        cache_.assign(sb_.blockSize, 0);
        cachedBlock_ = -1;
        if (!volume_.readAt(block, cache_)) return std::nullopt;
        cachedBlock_ = block;
    }
    return decodeInode(subSpan(cache_, static_cast<std::size_t>(at - block), sb_.inodeSize), sb_);
}

EntryTimes XfsClass::times(EntryRef e) const {
    EntryTimes t;
    if (!validRef(e) || entries_[e].synthetic) return t;
    t.created = entries_[e].created;
    t.modified = entries_[e].modified;
    t.accessed = entries_[e].accessed;
    return t;
}

EntryDescription XfsClass::describeEntry(EntryRef e) const {
    EntryDescription d;
    if (!validRef(e) || entries_[e].synthetic) return d;
    const XfsEntry& entry = entries_[e];
    d.created = localTimeText(entry.created);
    d.accessed = localTimeText(entry.accessed);
    d.modified = localTimeText(entry.modified);
    d.attributes = permissionText(entry.inodeMode);
    if (entry.deleted && !entry.folder() && (entry.reused || entry.inodeMode == 0)) d.attributes += kFreedNote;
    return d;
}

bool XfsClass::saveFile(EntryRef e, ByteSink& out, WorkControl& work) {
    if (!ready_ || !validRef(e) || entries_[e].synthetic || entries_[e].folder()) return false;
    const XfsEntry& entry = entries_[e];
    if (entry.reused) {
        message_ = kReusedText;
        return false;
    }
    const auto inode = loadInode(entry.inode);
    if (!inode) {
        message_ = kNoInodeText;
        if (sb_.inodeOffset(entry.inode) >= 0) warnings_.unreadable(sb_.inodeOffset(entry.inode));
        return false;
    }
    // The inode may since have been reused for a folder: it holds nothing of this file.
    if (inode->isDirectory()) return false;
    if (inode->size == 0) return true;
    return readContent(*inode, out, work);
}

bool XfsClass::readContent(const XfsInode& inode, ByteSink& out, WorkControl& work) {
    CountingSink counted(out);
    const std::uint64_t size = inode.size;
    if (inode.format == ForkFormat::Local) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, inode.dataFork.size()));
        if (!counted.write(ByteSpan(inode.dataFork.data(), n))) return false;
        return counted.written == static_cast<std::int64_t>(size);
    }
    if (inode.format != ForkFormat::Extents && inode.format != ForkFormat::Btree) return false;
    const ExtentMap map = mapDataFork(inode, volume_, sb_);
    bool damaged = map.damaged;
    // Tree blocks failing their checksum are read as they stand; the save counts them.
    if (map.crc.count > 0) warnings_.damaged(map.crc.first);
    if (inode.isSymlink() && sb_.crcs()) {
        // A version 5 symlink's blocks each begin with a header: the target
        // is what follows them, up to the size.
        if (size > kMaxSymlink) return false;
        const std::uint64_t room = sb_.blockSize - kSymlinkHeader;
        const ExtentList extents = contentExtents(map, (size + room - 1) / room * sb_.blockSize, sb_, damaged);
        std::vector<std::uint8_t> target;
        std::vector<std::uint8_t> block(sb_.blockSize);
        for (const Extent& x : extents.extents()) {
            for (std::int64_t at = 0; at < x.length && target.size() < size; at += sb_.blockSize) {
                if (x.hole() || !volume_.readAt(x.offset + at, block) || be32(block, 0) != kSymlinkMagic) {
                    damaged = true;
                    break;
                }
                const std::size_t bytes = std::min<std::size_t>(be32(block, 8), block.size() - kSymlinkHeader);
                const ByteSpan part = subSpan(block, kSymlinkHeader, std::min<std::size_t>(bytes, size - target.size()));
                target.insert(target.end(), part.begin(), part.end());
            }
        }
        if (damaged) warnings_.damaged(map.where);
        if (!counted.write(target)) return false;
        return counted.written == static_cast<std::int64_t>(size) && !damaged;
    }
    const ExtentList extents = contentExtents(map, size, sb_, damaged);
    if (damaged) warnings_.damaged(map.where);
    const auto bytes = static_cast<std::int64_t>(std::min<std::uint64_t>(size, INT64_MAX));
    const CopyResult r = copyExtents(volume_, extents.extents(), bytes, counted, work, &warnings_);
    return r == CopyResult::Complete && counted.written == bytes && !damaged;
}

}  // namespace tavrel::fs
