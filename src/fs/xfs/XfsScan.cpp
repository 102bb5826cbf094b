// The scan stages of the XFS parser: superblock, the folder walk from the
// root inode, Deep mode's pass over every inode chunk, then the tree.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "fs/xfs/XfsClass.h"
#include "fs/xfs/XfsExtents.h"
#include "fs/xfs/XfsInodeBtree.h"
#include "fs/xfs/XfsProbe.h"
#include "fs/xfs/XfsTexts.h"

namespace tavrel::fs {

using namespace xfs;

namespace {

constexpr std::size_t kMaxRecords = EntryTable::kNone - 1;
// Directory data blocks lie below this byte offset of the folder's data fork;
// hash leaves and free indexes above it.
constexpr std::uint64_t kLeafOffset = std::uint64_t{32} << 30;
constexpr std::uint8_t kTypeDirectory = 2;

}  // namespace

XfsClass::XfsClass(const VolumeView& volume, const ScanOptions& options) : volume_(volume), options_(options) {}

ScanOutcome XfsClass::scan(WorkControl& work) {
    ready_ = false;
    scanWarning_.clear();
    entries_.clear();
    parents_.clear();
    if (ScanOutcome o = readSuperblock(); !o.ok()) return o;
    ready_ = true;
    XfsEntry root;
    root.name = kRootName;
    root.inode = sb_.rootInode;
    root.mode = kModeDirectory;
    root.synthetic = true;
    entries_.push_back(root);
    XfsEntry orphans;
    orphans.name = kOrphanName;
    orphans.mode = kModeDirectory;
    orphans.synthetic = true;
    entries_.push_back(orphans);
    parents_ = {EntryTable::kNone, EntryTable::kNone};
    walked_.clear();
    named_ = {sb_.rootInode};
    claimed_.clear();
    crcInodes_.clear();
    crcDirBlocks_ = crcTreeBlocks_ = 0;
    shown_ = 0;
    work.range(0, static_cast<std::int64_t>(std::min<std::uint64_t>(sb_.inodesInUse, INT64_MAX)));
    pending_ = {{sb_.rootInode, static_cast<std::uint32_t>(kRoot)}};
    walkFolders(work);
    if (options_.mode == RecoveryMode::Deep && !work.stopRequested()) deepPass(work);
    link(work);
    noteChecksums();
    pending_ = {};
    walked_ = {};
    named_ = {};
    claimed_ = {};
    return work.stopRequested() ? ScanOutcome::stopped() : ScanOutcome::done();
}

ScanOutcome XfsClass::readSuperblock() {
    std::vector<std::uint8_t> sector(512);
    if (!volume_.readAt(0, sector)) {
        message_ = kNoSuperblockText;
        return ScanOutcome::fail(volume_.size() >= 512 ? ScanResult::ReadError : ScanResult::NotThisKind, 0, message_);
    }
    const auto sb = decodeSuperblock(sector);
    if (!sb) {
        // A primary that cannot be decoded (wiped, or damaged): AG 1's copy
        // holds the same geometry and root.
        if (const auto copy = findSuperblockCopy(volume_)) {
            sb_ = *decodeSuperblock(copy->sector);
            // Copies leave the realtime bitmap and summary inodes unset;
            // mkfs.xfs makes them right after the root.
            constexpr std::uint64_t kNullInode = ~std::uint64_t{0};
            if (sb_.metaInodes[0] == kNullInode) sb_.metaInodes[0] = sb_.rootInode + 1;
            if (sb_.metaInodes[1] == kNullInode) sb_.metaInodes[1] = sb_.rootInode + 2;
            warnings_.damaged(0);
            scanWarning_ = kSuperblockCopyText;
            return ScanOutcome::done();
        }
        const bool magic = be32(sector, 0) == kSuperblockMagic;
        message_ = magic ? kDamagedSuperblockText : kNoSuperblockText;
        return ScanOutcome::fail(magic ? ScanResult::Damaged : ScanResult::NotThisKind, 0, message_);
    }
    sb_ = *sb;
    // The checksum covers the whole first sector.
    if (sb_.crcs()) {
        sector.resize(sb_.sectorSize);
        if (!volume_.readAt(0, sector) || !crcMatches(sector, kSuperblockCrcOffset)) {
            warnings_.damaged(0);
            scanWarning_ = kSuperblockCrcText;
        }
    }
    return ScanOutcome::done();
}

DirForm XfsClass::dirForm() const {
    DirForm form;
    form.crcs = sb_.crcs();
    form.fileTypes = sb_.fileTypes();
    form.validInode = [this](std::uint64_t n) { return sb_.inodeOffset(n) >= 0; };
    return form;
}

void XfsClass::reportProgress(WorkControl& work, bool force) {
    const auto n = static_cast<std::int64_t>(entries_.size());
    if (!force && n - shown_ < 256) return;
    shown_ = n;
    char text[64];
    std::snprintf(text, sizeof text, "parsing entry %lld ", static_cast<long long>(n));
    work.status(text);
    work.position(n);
}

// Folders are walked breadth first, each folder inode once: a folder named
// twice (damage) gets its children under the first name.
void XfsClass::walkFolders(WorkControl& work) {
    for (std::size_t i = 0; i < pending_.size(); ++i) {
        if (!work.checkpoint()) break;
        const auto [inode, entry] = pending_[i];
        if (!walked_.insert(inode).second) continue;
        walkFolder(inode, entry);
        reportProgress(work, i == 0);
    }
    pending_.clear();
    reportProgress(work, true);
}

void XfsClass::walkFolder(std::uint64_t number, std::uint32_t entry) {
    const auto inode = loadInode(number);
    const std::int64_t at = sb_.inodeOffset(number);
    if (!inode || !inode->isDirectory()) {
        warnings_.damaged(at);
        return;
    }
    noteInodeCrc(number, *inode);
    for (XfsDirItem& item : readFolder(*inode, number)) {
        if (entries_.size() >= kMaxRecords) return;
        addEntry(std::move(item), entry);
    }
}

std::vector<XfsDirItem> XfsClass::readFolder(const XfsInode& inode, std::uint64_t number, bool look) {
    std::vector<XfsDirItem> items;
    Warnings ignored;
    Warnings& warnings = look ? ignored : warnings_;
    const DirForm form = dirForm();
    const std::int64_t where = sb_.inodeOffset(number);
    if (inode.format == ForkFormat::Local) {
        const std::size_t bytes = static_cast<std::size_t>(std::min<std::uint64_t>(inode.size, inode.dataFork.size()));
        if (!decodeShortForm(ByteSpan(inode.dataFork).first(bytes), form, items)) warnings.damaged(where);
        return items;
    }
    const ExtentMap map = mapDataFork(inode, volume_, sb_);
    if (map.damaged) warnings.damaged(map.where >= 0 ? map.where : where);
    if (!look && map.crc.count > 0) {
        crcTreeBlocks_ += map.crc.count;
        warnings_.damaged(map.crc.first);
    }
    // Each directory block is assembled from its file-system blocks (one run
    // normally, several where its extent was split) and decoded once.
    const std::uint64_t bs = sb_.blockSize;
    const std::uint64_t perBlock = std::uint64_t{1} << sb_.dirBlockLog;
    const std::uint64_t leafBlock = kLeafOffset >> sb_.blockLog;
    std::vector<std::uint8_t> block(sb_.dirBlockSize());
    std::uint64_t current = UINT64_MAX, filled = 0;
    std::int64_t blockAt = -1;
    for (const XfsExtent& e : map.records) {
        if (e.unwritten || e.fileBlock >= leafBlock) continue;
        const std::uint64_t end = std::min(e.fileBlock + e.count, leafBlock);
        for (std::uint64_t f = e.fileBlock; f < end;) {
            const std::uint64_t index = f / perBlock;
            if (index != current) {
                current = index;
                filled = 0;
                blockAt = -1;
            }
            const std::uint64_t run = std::min(end - f, perBlock - f % perBlock);
            const std::int64_t first = sb_.blockOffset(e.fsBlock + (f - e.fileBlock));
            const std::int64_t last = sb_.blockOffset(e.fsBlock + (f - e.fileBlock) + run - 1);
            if (first < 0 || last < 0 || (!look && !claimed_.insert(static_cast<std::uint64_t>(first) / bs).second)) {
                warnings.damaged(first >= 0 ? first : where);
                f += run;
                continue;
            }
            if (look && (lookBudget_ -= static_cast<std::int64_t>(run * bs)) < 0) return items;
            const MutableByteSpan piece = MutableByteSpan(block).subspan((f % perBlock) * bs, run * bs);
            if (!volume_.readAt(first, piece)) warnings.unreadable(first);
            if (f % perBlock == 0) blockAt = first;
            filled += run;
            f += run;
            if (filled != perBlock || dirBlockKind(block, form.crcs) == DirBlockKind::NotData) continue;
            if (!look && !dirBlockCrcOk(block, form.crcs)) {
                ++crcDirBlocks_;
                warnings_.damaged(blockAt);
            }
            if (!decodeDataBlock(block, blockAt, form, items)) warnings.damaged(blockAt);
        }
    }
    return items;
}

void XfsClass::addEntry(XfsDirItem item, std::uint32_t parent) {
    XfsEntry e;
    e.name = std::move(item.name);
    e.inode = item.inode;
    e.deleted = item.deleted;
    e.where = item.where;
    const auto inode = loadInode(e.inode);
    if (inode && !e.deleted) noteInodeCrc(e.inode, *inode);
    if (inode && !inode->freed()) {
        e.inodeMode = inode->mode;
        // A removed name whose inode is in use again names another file now.
        e.reused = e.deleted && (item.fileType == 0 || (item.fileType == kTypeDirectory) != inode->isDirectory());
        if (e.deleted && !e.reused && named_.count(e.inode)) e.reused = true;
    }
    if (inode && !e.reused) {
        e.mode = inode->mode;
        e.size = inode->size;
        e.created = inode->created ? inode->created : inode->changed;
        e.modified = inode->modified;
        e.accessed = inode->accessed;
    } else if (!inode && !e.deleted) {
        warnings_.damaged(sb_.inodeOffset(e.inode) >= 0 ? sb_.inodeOffset(e.inode) : e.where);
    }
    // A free inode's mode is cleared: the name's file type decides.
    if (e.mode == 0 || e.reused) e.mode = item.fileType == kTypeDirectory ? kModeDirectory : kModeRegular;
    const bool walk = !e.deleted && e.folder();
    if (!e.deleted) named_.insert(e.inode);
    entries_.push_back(std::move(e));
    parents_.push_back(parent);
    if (walk) pending_.emplace_back(entries_.back().inode, static_cast<std::uint32_t>(entries_.size() - 1));
}

// Every in-use inode of every AG that no live name reached: folders first,
// walked under the orphan folder like the root, then the files still unnamed.
void XfsClass::deepPass(WorkControl& work) {
    std::vector<std::uint64_t> unnamed;
    const std::size_t maxChunks = static_cast<std::size_t>(
        std::min<std::uint64_t>(static_cast<std::uint64_t>(volume_.size()) / sb_.inodeSize / kChunkInodes + 1, 1u << 24));
    for (std::uint32_t ag = 0; ag < sb_.agCount; ++ag) {
        if (!work.checkpoint()) return;
        char text[64];
        std::snprintf(text, sizeof text, "parsing allocation group %u of %u ", ag + 1, sb_.agCount);
        work.status(text);
        const AgChunks found = readAgChunks(volume_, sb_, ag, maxChunks);
        if (found.damaged) warnings_.damaged(found.where >= 0 ? found.where : 0);
        if (found.crc.count > 0) {
            crcTreeBlocks_ += found.crc.count;
            warnings_.damaged(found.crc.first);
        }
        for (const InodeChunk& c : found.chunks) {
            for (std::size_t i = 0; i < kChunkInodes; ++i) {
                if (!c.inUse(i)) continue;
                const std::uint64_t number =
                    (std::uint64_t{ag} << sb_.agInodeBits()) | (std::uint64_t{c.firstAgInode} + i);
                if (named_.count(number) ||
                    std::find(std::begin(sb_.metaInodes), std::end(sb_.metaInodes), number) != std::end(sb_.metaInodes))
                    continue;
                if (unnamed.size() >= kMaxRecords) break;
                unnamed.push_back(number);
            }
        }
    }
    auto addOrphan = [&](std::uint64_t number, const XfsInode& inode) {
        noteInodeCrc(number, inode);
        XfsEntry e;
        char text[40];
        std::snprintf(text, sizeof text, kInodeNamePattern, static_cast<unsigned long long>(number));
        e.name = text;
        e.inode = number;
        e.mode = e.inodeMode = inode.mode;
        e.size = inode.size;
        e.created = inode.created ? inode.created : inode.changed;
        e.modified = inode.modified;
        e.accessed = inode.accessed;
        named_.insert(number);
        entries_.push_back(std::move(e));
        parents_.push_back(static_cast<std::uint32_t>(kOrphans));
    };
    // Unreached folders that another unreached folder names are walked from
    // it, so that only the tops of lost subtrees stand under the orphan
    // folder; folders left over (a loop of names) are walked after them.
    std::vector<std::uint64_t> folders;
    std::unordered_set<std::uint64_t> namedBelow;
    lookBudget_ = volume_.size();
    for (const std::uint64_t number : unnamed) {
        if (!work.checkpoint()) return;
        const auto inode = loadInode(number);
        if (!inode || !inode->isDirectory() || inode->freed()) continue;
        folders.push_back(number);
        for (const XfsDirItem& item : readFolder(*inode, number, true))
            if (!item.deleted && item.inode != number) namedBelow.insert(item.inode);
    }
    for (const bool tops : {true, false}) {
        for (const std::uint64_t number : folders) {
            if (entries_.size() >= kMaxRecords || !work.checkpoint()) return;
            if (named_.count(number) || (tops && namedBelow.count(number))) continue;
            const auto inode = loadInode(number);
            if (!inode) continue;
            addOrphan(number, *inode);
            pending_ = {{number, static_cast<std::uint32_t>(entries_.size() - 1)}};
            walkFolders(work);
        }
    }
    for (const std::uint64_t number : unnamed) {
        if (entries_.size() >= kMaxRecords || !work.checkpoint()) return;
        if (named_.count(number)) continue;
        const auto inode = loadInode(number);
        if (!inode || inode->freed()) continue;
        addOrphan(number, *inode);
    }
}

void XfsClass::noteInodeCrc(std::uint64_t number, const XfsInode& inode) {
    if (inode.crcOk || !crcInodes_.insert(number).second) return;
    warnings_.damaged(sb_.inodeOffset(number));
}

// The checksum failures the scan met, told beside the tree.
void XfsClass::noteChecksums() {
    std::string counts;
    auto add = [&](const char* pattern, std::size_t n) {
        if (n == 0) return;
        char text[64];
        std::snprintf(text, sizeof text, pattern, n);
        counts += (counts.empty() ? "" : ", ") + std::string(text);
    };
    add(kInodesCountText, crcInodes_.size());
    add(kDirBlocksCountText, crcDirBlocks_);
    add(kTreeBlocksCountText, crcTreeBlocks_);
    if (counts.empty()) return;
    std::vector<char> text(std::strlen(kChecksumsText) + counts.size() + 1);
    std::snprintf(text.data(), text.size(), kChecksumsText, counts.c_str());
    scanWarning_ += (scanWarning_.empty() ? "" : " ") + std::string(text.data());
}

void XfsClass::link(WorkControl& work) {
    work.status("Maintaining Parent Child....");
    table_.reset(entries_.size());
    for (std::size_t i = 2; i < entries_.size(); ++i) table_.append(parents_[i], i);
    parents_ = {};
    table_.rescueUnreachable({kRoot, kOrphans}, kOrphans, [](std::size_t i) { return i >= 2; });
    rootLevel_ = table_.children(kRoot);
    if (table_.hasChildren(kOrphans)) rootLevel_.push_back(kOrphans);
}

}  // namespace tavrel::fs
