// The scan stages of the ext parser: superblock, group descriptors, inode
// tables, folder blocks, then the entry table and its tree.
#include "fs/ext/ext2Class.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "fs/ext/ExtBlockMap.h"
#include "fs/ext/ForeignSignature.h"

namespace tavrel::fs {

using namespace ext;

namespace {

constexpr std::int64_t kChunk = 1 << 20;  // tables and folders are read up to 1 MiB at a time
constexpr std::size_t kMaxRecords = EntryTable::kNone - 1;

constexpr const char* kNoSuperblockText = "No ext superblock was found on this volume.";
// %s: what ForeignSignature found, "a btrfs file system" and the like.
constexpr const char* kForeignText = "This volume holds %s, not ext2, ext3 or ext4: Tavrel cannot read it.";
constexpr const char* kNoDescriptorsText = "The block group descriptors of this ext volume cannot be read.";
// %llu: the block group whose backup was used.
constexpr const char* kBackupSuperblockText =
    "The primary superblock of this ext volume is damaged: the backup in block group %llu was used.";
constexpr const char* kBackupDescriptorsText =
    "Some block group descriptors of this ext volume are damaged: their backups were used.";

// Backup copies tried for damaged descriptors.
constexpr std::size_t kMaxBackups = 16;

template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char text[128];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

// Marks [first, first + length) as one group's inode table in `taken` (first
// block -> end of each table) when it lies on the volume past the first data
// block and overlaps no table taken before; false otherwise.
bool claimTable(std::map<std::uint64_t, std::uint64_t>& taken, std::uint64_t first, std::uint64_t length,
                const ExtSuperblock& sb) {
    if (first <= sb.firstDataBlock || first >= sb.blocksCount || length > sb.blocksCount - first) return false;
    const auto next = taken.lower_bound(first);
    if (next != taken.end() && next->first < first + length) return false;
    if (next != taken.begin() && std::prev(next)->second > first) return false;
    taken.emplace(first, first + length);
    return true;
}

bool beginsWithSelf(ByteSpan block, std::uint32_t inode) {
    return le32(block, 0) == inode && u8(block, 6) == 1 && u8(block, 8) == '.';
}

}  // namespace

ext2Class::ext2Class(const VolumeView& volume, const ScanOptions& options) : volume_(volume), options_(options) {}

ScanOutcome ext2Class::scan(WorkControl& work) {
    ready_ = false;
    if (!attach() || !findSuperblock(work)) {
        if (foreign_) {
            message_ = format(kForeignText, foreign_->phrase);
            return ScanOutcome::fail(ScanResult::Unsupported, foreign_->offset, message_);
        }
        message_ = kNoSuperblockText;
        return ScanOutcome::fail(ScanResult::NotThisKind, kPrimarySuperblockOffset, message_);
    }
    if (!readGroupDescriptors()) {
        message_ = kNoDescriptorsText;
        return ScanOutcome::fail(ScanResult::ReadError, groupDescriptorOffset(sb_, superblockOffset_, 0), message_);
    }
    ready_ = true;
    readInodeTables(work);
    readDirectories(work);
    buildEntryTable(work);
    linkChildren(work);
    fillRootLevel(work);
    return work.stopRequested() ? ScanOutcome::stopped() : ScanOutcome::done();
}

// A tree read through backup structures says so beside the tree.
void ext2Class::addNotice(const std::string& text) { scanWarning_ += (scanWarning_.empty() ? "" : " ") + text; }

// The volume view already starts at the volume's first sector; an empty
// volume has nothing to parse.
bool ext2Class::attach() { return volume_.size() > 0; }

// The primary superblock at byte 1024; when it is damaged, the first backup:
// at the start of group 1 for each block size the volume may have, then any
// 512-byte position of the volume. A volume that holds another file system
// (its signature found once the cheap places are tried) is not searched.
bool ext2Class::findSuperblock(WorkControl& work) {
    foreign_.reset();
    if (volume_.size() <= 1536) return false;
    std::vector<std::uint8_t> buffer(kSuperblockBytes);
    auto accept = [&](std::int64_t at, ByteSpan bytes) {
        const auto sb = decodeSuperblock(bytes);
        if (!sb) return false;
        sb_ = *sb;
        superblockOffset_ = at;
        return true;
    };
    if (volume_.readAt(kPrimarySuperblockOffset, buffer) && accept(kPrimarySuperblockOffset, buffer)) return true;
    for (std::int64_t bs = 1024; bs <= 65536; bs *= 2) {
        // Group 1 begins blocks-per-group (8 per byte of a bitmap block) after
        // the first data block, which is block 1 on 1 KiB volumes.
        const std::int64_t at = 8 * bs * bs + (bs == 1024 ? 1024 : 0);
        if (at + 1024 > volume_.size()) break;
        if (volume_.readAt(at, buffer) && accept(at, buffer) && sb_.blockSize() == bs) return true;
    }
    std::vector<std::uint8_t> head(static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(kForeignHeadBytes), volume_.size())));
    if (volume_.readAt(0, head) && (foreign_ = foreignFileSystem(head))) return false;
    std::vector<std::uint8_t> chunk;
    // Chunks the image does not store are passed over without a look.
    for (std::int64_t base = volume_.storedChunkFrom(kPrimarySuperblockOffset + 512, kChunk); base + 1024 <= volume_.size();
         base = volume_.storedChunkFrom(base + kChunk, kChunk)) {
        if (!work.checkpoint()) return false;
        chunk.assign(static_cast<std::size_t>(std::min<std::int64_t>(kChunk + 512, volume_.size() - base)), 0);
        if (!volume_.readAt(base, chunk)) warnings_.unreadable(base);
        for (std::size_t k = 0; k + 1024 <= chunk.size() && k < static_cast<std::size_t>(kChunk); k += 512)
            if (le16(chunk, k + kMagicField) == kExtMagic && accept(base + static_cast<std::int64_t>(k), subSpan(chunk, k, 1024)))
                return true;
    }
    return false;
}

bool ext2Class::readGroupDescriptors() {
    groups_.clear();
    scanWarning_.clear();
    const std::int64_t bs = sb_.blockSize();
    if (superblockOffset_ != kPrimarySuperblockOffset) {
        warnings_.damaged(kPrimarySuperblockOffset);
        const auto group = static_cast<unsigned long long>(
            (static_cast<std::uint64_t>(superblockOffset_ / bs) - sb_.firstDataBlock) / sb_.blocksPerGroup);
        addNotice(format(kBackupSuperblockText, group));
    }
    groupCount_ = sb_.groupCount();
    // Inode numbers are 32-bit, and a group must begin on the volume: a
    // superblock that claims more blocks than the volume holds is damaged (or
    // the image cut short), and only the groups that are there are read.
    groupCount_ = std::min<std::uint64_t>(groupCount_, 0xFFFFFFFFull / sb_.inodesPerGroup);
    const auto volumeBlocks = static_cast<std::uint64_t>(volume_.size() / bs);
    const std::uint64_t onVolume = volumeBlocks > sb_.firstDataBlock
                                       ? (volumeBlocks - sb_.firstDataBlock + sb_.blocksPerGroup - 1) / sb_.blocksPerGroup
                                       : 0;
    if (groupCount_ > onVolume) {
        warnings_.damaged(superblockOffset_ + 4);
        groupCount_ = onVolume;
    }
    std::vector<std::uint8_t> block(static_cast<std::size_t>(bs));
    std::int64_t cached = -1;
    for (std::uint64_t g = 0; g < groupCount_; ++g) {
        const std::int64_t at = groupDescriptorOffset(sb_, superblockOffset_, g);
        const std::int64_t blockAt = at / bs * bs;
        if (blockAt != cached) {
            if (!volume_.readAt(blockAt, block)) {
                warnings_.unreadable(blockAt);
                std::fill(block.begin(), block.end(), std::uint8_t{0});
            }
            cached = blockAt;
        }
        groups_.push_back(decodeGroupDescriptor(subSpan(block, static_cast<std::size_t>(at - blockAt), sb_.descSize), sb_));
    }
    // Descriptors read after a backup superblock are backups themselves.
    fromBackup_.assign(groups_.size(), superblockOffset_ != kPrimarySuperblockOffset);
    std::vector<bool> unusable = checkDescriptors();
    if (std::find(unusable.begin(), unusable.end(), true) != unusable.end()) useBackupDescriptors(unusable);
    std::size_t usable = 0;
    for (std::uint64_t g = 0; g < groups_.size(); ++g) {
        if (!unusable[g]) {
            ++usable;
            continue;
        }
        warnings_.damaged(groupDescriptorOffset(sb_, superblockOffset_, g));
        groups_[g].inodeTable = 0;  // read nothing through it
    }
    inodeRecords_ = std::min<std::uint64_t>(groupCount_ * sb_.inodesPerGroup, sb_.inodesCount);
    return usable > 0;
}

std::uint64_t ext2Class::tableBlocks() const {
    const auto bs = static_cast<std::uint64_t>(sb_.blockSize());
    const std::uint64_t bytes = std::uint64_t{sb_.inodesPerGroup} * sb_.inodeSize;
    return (bytes + bs - 1) / bs;
}

// A descriptor is usable when its whole inode table lies on the volume, past
// the first data block, and overlaps no earlier group's table: descriptors
// that all name one table would read it once per group.
std::vector<bool> ext2Class::checkDescriptors() {
    const std::uint64_t length = tableBlocks();
    std::vector<bool> unusable(groups_.size(), false);
    std::map<std::uint64_t, std::uint64_t> taken;
    for (std::uint64_t g = 0; g < groups_.size(); ++g)
        unusable[g] = !claimTable(taken, groups_[g].inodeTable, length, sb_);
    return unusable;
}

// Inode tables never move once the volume is made: the descriptor of the same
// group in a backup table names the right one. The first backup (groups 1, 3,
// 5, 7, 9, 25, 27, ...) whose superblock agrees with the one in use and whose
// descriptor for a group is usable replaces the damaged one.
void ext2Class::useBackupDescriptors(std::vector<bool>& unusable) {
    const std::int64_t bs = sb_.blockSize();
    const std::uint64_t length = tableBlocks();
    std::map<std::uint64_t, std::uint64_t> taken;
    for (std::uint64_t g = 0; g < groups_.size(); ++g)
        if (!unusable[g]) claimTable(taken, groups_[g].inodeTable, length, sb_);
    std::vector<std::uint8_t> head(kSuperblockBytes);
    std::vector<std::uint8_t> block(static_cast<std::size_t>(bs));
    bool used = false;
    for (const std::uint64_t backup : backupGroups(groups_.size(), kMaxBackups)) {
        // A backup superblock fills the first block of its group.
        const std::int64_t at = static_cast<std::int64_t>(backup * sb_.blocksPerGroup + sb_.firstDataBlock) * bs;
        if (at == superblockOffset_ || !volume_.readAt(at, head)) continue;
        const auto copy = decodeSuperblock(head);
        if (!copy || copy->blockSize() != bs || copy->blocksPerGroup != sb_.blocksPerGroup ||
            copy->inodesPerGroup != sb_.inodesPerGroup || copy->descSize != sb_.descSize || copy->hasMetaBg())
            continue;
        std::int64_t cached = -1;
        bool readable = false;
        for (std::uint64_t g = 0; g < groups_.size(); ++g) {
            if (!unusable[g]) continue;
            const std::int64_t d = groupDescriptorOffset(*copy, at, g);
            if (d / bs * bs != cached) {
                cached = d / bs * bs;
                readable = volume_.readAt(cached, block);
            }
            if (!readable) continue;
            const ExtGroup candidate =
                decodeGroupDescriptor(subSpan(block, static_cast<std::size_t>(d - cached), sb_.descSize), sb_);
            if (!claimTable(taken, candidate.inodeTable, length, sb_)) continue;
            groups_[g] = candidate;
            fromBackup_[g] = true;
            unusable[g] = false;
            used = true;
        }
        if (std::find(unusable.begin(), unusable.end(), true) == unusable.end()) break;
    }
    if (used && superblockOffset_ == kPrimarySuperblockOffset)
        addNotice(kBackupDescriptorsText);
}

// Where a group's counts may be trusted, only its used slots are read; the
// first slot past them is looked at, and a live inode there shows the counts
// are stale (a backup copy, or damage), so the whole table is read.
ext2Class::SlotPlan ext2Class::planSlots(std::uint64_t g) {
    const ExtGroup& group = groups_[g];
    const std::uint64_t all = sb_.inodesPerGroup;
    const bool plausible = plausibleCounts(group, g, sb_);
    if (!plausible) warnings_.damaged(groupDescriptorOffset(sb_, superblockOffset_, g));
    const std::uint64_t used = plausible ? usedInodeSlots(group, sb_) : 0;
    if (used >= all) return {all, all};
    if (!plausible || fromBackup_[g]) return {all, used};
    std::vector<std::uint8_t> bytes(sb_.inodeSize);
    const auto number = static_cast<std::uint32_t>(g * all + used + 1);
    const std::int64_t at = static_cast<std::int64_t>(group.inodeTable) * sb_.blockSize() +
                            static_cast<std::int64_t>(used * sb_.inodeSize);
    if (volume_.readAt(at, bytes) && plausibleInode(bytes, number, sb_) && !decodeInode(bytes, sb_).freed()) {
        warnings_.damaged(groupDescriptorOffset(sb_, superblockOffset_, g));
        return {all, used};
    }
    return {used, used};
}

void ext2Class::readInodeTables(WorkControl& work) {
    inodes_.clear();
    folders_.clear();
    std::vector<Folder> freedFolders;
    const std::int64_t bs = sb_.blockSize();
    const std::size_t inodeSize = sb_.inodeSize;
    const auto groups = static_cast<std::int64_t>(groups_.size());
    work.range(0, groups);
    std::vector<std::uint8_t> chunk;
    for (std::int64_t g = 0; g < groups; ++g) {
        if (!work.checkpoint()) break;
        work.status(format("parsing group %d  of %d ", static_cast<int>(g + 1), static_cast<int>(groups)));
        work.position(g + 1);
        const ExtGroup& group = groups_[static_cast<std::size_t>(g)];
        const std::uint64_t firstNumber = static_cast<std::uint64_t>(g) * sb_.inodesPerGroup + 1;
        if (firstNumber > inodeRecords_) break;
        if (group.inodeTable == 0) continue;  // refused, and counted, with the descriptors
        const SlotPlan plan = planSlots(static_cast<std::uint64_t>(g));
        const std::uint64_t slots = std::min<std::uint64_t>(plan.read, inodeRecords_ - firstNumber + 1);
        if (slots == 0) continue;
        const std::int64_t table = static_cast<std::int64_t>(group.inodeTable) * bs;
        const std::int64_t perChunk = std::max<std::int64_t>(1, kChunk / static_cast<std::int64_t>(inodeSize));
        for (std::uint64_t s = 0; s < slots; s += static_cast<std::uint64_t>(perChunk)) {
            const std::uint64_t count = std::min<std::uint64_t>(static_cast<std::uint64_t>(perChunk), slots - s);
            const std::int64_t at = table + static_cast<std::int64_t>(s * inodeSize);
            chunk.assign(static_cast<std::size_t>(count * inodeSize), 0);
            if (!volume_.readAt(at, chunk)) {
                warnings_.unreadable(at);
                continue;
            }
            for (std::uint64_t k = 0; k < count; ++k) {
                const ByteSpan bytes = subSpan(chunk, k * inodeSize, inodeSize);
                const auto number = static_cast<std::uint32_t>(firstNumber + s + k);
                if (s + k >= plan.vouched && !plausibleInode(bytes, number, sb_)) continue;
                const ExtInode inode = decodeInode(bytes, sb_);
                if (inode.empty()) continue;
                // Groups and slots are read in order: the numbers rise.
                inodes_.push_back({number, inode.mode, inode.freed(), inode.freed() && inode.mapCleared(), inode.size,
                                   inode.changed, inode.modified, inode.accessed});
                if (!inode.isDirectory() || (inode.freed() && inode.mapCleared() && !inode.inlineData())) continue;
                (inode.freed() ? freedFolders : folders_).push_back({number, inode});
            }
        }
    }
    // Every volume has its root folder in inode 2: without it the tree is cut off.
    const InodeSummary* root = findInode(2);
    if (root == nullptr || (root->mode & kModeTypeMask) != kModeDirectory) warnings_.damaged(inodeOffset(2));
    // Live folders are walked first: a freed folder's old blocks may now belong
    // to a live one, which must get them.
    folders_.insert(folders_.end(), std::make_move_iterator(freedFolders.begin()),
                    std::make_move_iterator(freedFolders.end()));
}

void ext2Class::readDirectories(WorkControl& work) {
    names_.clear();
    names_.reserve(inodes_.size());  // about one name per used inode
    claimedBlocks_.clear();
    mapBlocks_.clear();
    const auto n = static_cast<std::int64_t>(inodeRecords_);
    work.range(0, n);
    std::vector<std::uint8_t> buffer;
    std::int64_t shownGroup = -1;
    for (const Folder& f : folders_) {
        if (!work.checkpoint()) break;
        const std::int64_t a = static_cast<std::int64_t>((f.inode - 1) / sb_.inodesPerGroup) * sb_.inodesPerGroup;
        if (a != shownGroup) {
            shownGroup = a;
            work.status(format("parsing inode entry %lld  of %lld ", static_cast<long long>(a + 1),
                               static_cast<long long>(n)));
            work.position(a + 1);
        }
        walkFolder(f, buffer);
    }
    work.status(format("parsed inode entry %lld  of %lld ", static_cast<long long>(n), static_cast<long long>(n)));
    work.position(n);
}

void ext2Class::walkFolder(const Folder& f, std::vector<std::uint8_t>& buffer) {
    const ExtInode& inode = f.record;
    const bool live = !inode.freed();
    DirBlockForm form;
    form.fileType = sb_.hasFileType();
    form.inodesCount = static_cast<std::uint32_t>(inodeRecords_);
    std::vector<ExtDirItem> items;
    const std::int64_t where = inodeOffset(f.inode);
    if (inode.inlineData()) {
        // i_block: the parent's inode number, then entries; more entries in
        // the "system.data" attribute. Neither part has "." or "..".
        bool ok = decodeDirectoryBlock(subSpan(inode.blockMap, 4, kBlockMapBytes - 4), where + 44, form, items);
        if (!inode.inlineTail.empty()) ok = decodeDirectoryBlock(inode.inlineTail, where, form, items) && ok;
        if (!ok && live) warnings_.damaged(where);
    } else {
        const std::int64_t bs = sb_.blockSize();
        std::uint64_t bytes = inode.size;
        if (bytes > static_cast<std::uint64_t>(volume_.size())) {
            if (live) warnings_.damaged(where);
            bytes = static_cast<std::uint64_t>(volume_.size());
        }
        const ExtBlockMapper mapper(volume_, sb_, &warnings_, &mapBlocks_);
        const BlockMapResult map = mapper.map(inode, bytes, false);
        if (map.damaged && live) warnings_.damaged(map.where >= 0 ? map.where : where);
        std::int64_t logical = 0;
        for (const Extent& e : map.extents.extents()) {
            if (e.hole()) {
                logical += e.length / bs;
                continue;
            }
            for (std::int64_t done = 0; done < e.length; done += kChunk) {
                const std::int64_t at = e.offset + done;
                buffer.assign(static_cast<std::size_t>(std::min(kChunk, e.length - done)), 0);
                const bool read = volume_.readAt(at, buffer);
                for (std::size_t k = 0; k < buffer.size(); k += static_cast<std::size_t>(bs), ++logical) {
                    const std::int64_t blockAt = at + static_cast<std::int64_t>(k);
                    if (!claimedBlocks_.insert(static_cast<std::uint64_t>(blockAt / bs)).second) {
                        if (live) warnings_.damaged(blockAt);  // two live folders claim one block
                        continue;
                    }
                    const ByteSpan block = subSpan(buffer, k, static_cast<std::size_t>(bs));
                    if (!read) {
                        std::vector<std::uint8_t> one(static_cast<std::size_t>(bs));
                        if (!volume_.readAt(blockAt, one)) {
                            warnings_.unreadable(blockAt);
                            continue;
                        }
                        std::copy(one.begin(), one.end(), buffer.begin() + static_cast<std::ptrdiff_t>(k));
                    }
                    // A freed folder's blocks may since hold other data: it is read
                    // only when its first block still begins with its own ".".
                    if (!live && logical == 0 && !beginsWithSelf(block, f.inode)) return;
                    form.indexRoot = logical == 0 && (inode.flags & kFlagIndexedDir) != 0;
                    if (!decodeDirectoryBlock(block, blockAt, form, items) && live) warnings_.damaged(blockAt);
                }
            }
        }
    }
    for (ExtDirItem& item : items) {
        if (names_.size() >= kMaxRecords) return;
        if (!live) item.deleted = true;
        names_.push_back({std::move(item), f.inode});
    }
}

const ext2Class::InodeSummary* ext2Class::findInode(std::uint32_t number) const {
    const auto it = std::lower_bound(inodes_.begin(), inodes_.end(), number,
                                     [](const InodeSummary& s, std::uint32_t n) { return s.number < n; });
    return it != inodes_.end() && it->number == number ? &*it : nullptr;
}

void ext2Class::buildEntryTable(WorkControl& work) {
    work.status("clearing vector....");
    entries_.clear();
    entries_.reserve(names_.size() + 2);
    ExtEntry root;
    root.name = kRootName;
    root.inode = 2;
    root.mode = kModeDirectory;
    root.synthetic = true;
    entries_.push_back(root);
    ExtEntry orphans;
    orphans.name = kOrphanName;
    orphans.mode = kModeDirectory;
    orphans.synthetic = true;
    entries_.push_back(orphans);

    for (Named& n : names_) {
        ExtEntry e;
        e.name = std::move(n.item.name);
        e.inode = n.item.inode;
        e.parentInode = n.parentInode;
        e.fileType = n.item.fileType;
        e.where = n.item.where;
        e.deleted = n.item.deleted;
        if (const InodeSummary* found = findInode(e.inode)) {
            e.mode = found->mode;
            e.inodeMode = found->mode;
            e.scanned = true;
            e.size = found->size;
            e.deleted = e.deleted || found->freed;
            e.mapCleared = found->mapCleared;
            e.changed = found->changed;
            e.modified = found->modified;
            e.accessed = found->accessed;
        } else {
            e.mapCleared = true;  // an empty slot: nothing left of the inode
            e.deleted = true;
        }
        // The name's file type decides between folder and file.
        if (e.fileType == 2) e.mode = static_cast<std::uint16_t>((e.mode & 0x0FFF) | kModeDirectory);
        if (e.fileType == 1) e.mode = static_cast<std::uint16_t>((e.mode & 0x0FFF) | kModeRegular);
        entries_.push_back(std::move(e));
    }
    names_ = {};
    inodes_ = {};
    folders_ = {};
    claimedBlocks_ = {};
    mapBlocks_ = {};
}

void ext2Class::linkChildren(WorkControl& work) {
    work.status("Maintaining Parent Child....");
    const std::size_t count = entries_.size();
    work.range(0, static_cast<std::int64_t>(count));
    // Each folder inode's children go under one of its names: a live one when
    // there is one, else the first deleted one. The root's go under "ROOT".
    std::unordered_map<std::uint32_t, std::uint32_t> folderOf;
    folderOf[2] = static_cast<std::uint32_t>(kRoot);
    for (std::size_t i = 2; i < count; ++i) {
        const ExtEntry& e = entries_[i];
        if (!e.folder() || e.inode == 2) continue;
        const auto [it, added] = folderOf.emplace(e.inode, static_cast<std::uint32_t>(i));
        if (!added && entries_[it->second].deleted && !e.deleted) it->second = static_cast<std::uint32_t>(i);
    }
    table_.reset(count);
    std::size_t linked = 2;
    for (std::size_t i = 2; i < count; ++i, ++linked) {
        if ((i & 0xFF) == 2 || i + 1 == count) {
            if (!work.checkpoint()) break;
            work.status(format("Maintaining Parent Child for record %d of %d....", static_cast<int>(i),
                               static_cast<int>(count)));
            work.position(static_cast<std::int64_t>(i + 1));
        }
        const auto it = folderOf.find(entries_[i].parentInode);
        const bool usable = it != folderOf.end() && it->second != i;
        table_.append(usable ? it->second : kOrphans, i);
    }
    // Names that point back up their own path (stale entries of freed folders)
    // form groups no walk reaches; each is cut loose under the orphan folder.
    table_.rescueUnreachable({kRoot, kOrphans}, kOrphans, [&](std::size_t i) { return i >= 2 && i < linked; });
}

void ext2Class::fillRootLevel(WorkControl& work) {
    work.status("filling root entries in  tree....");
    rootLevel_ = table_.children(kRoot);
    if (table_.hasChildren(kOrphans)) rootLevel_.push_back(kOrphans);
}

}  // namespace tavrel::fs
