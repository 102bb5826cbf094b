#include "fs/fat/FatFamilyParser.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <unordered_map>

#include "fs/ExtentCopy.h"
#include "fs/fat/ExFatEntry.h"
#include "fs/fat/FatEntry.h"
#include "fs/fat/FolderStacks.h"
#include "util/Texts.h"

namespace tavrel::fs::fat {

namespace {

constexpr std::uint64_t kWholeChain = std::numeric_limits<std::uint64_t>::max();
// Records are linked by 32-bit positions.
constexpr std::size_t kMaxRecords = EntryTable::kNone - 1;

}  // namespace

template <typename Entry>
ScanOutcome ClusterChainParser<Entry>::scan(WorkControl& work) {
    forgetAllocationMap();
    if (advanced_) return advancedScan(work);
    ScanOutcome outcome = checkBootSector(work);
    if (outcome) outcome = loadFat();
    if (outcome) outcome = loadRootDirectory();
    if (!outcome) {
        message_ = outcome.text;
        return outcome;
    }
    const ScanTexts& t = texts();
    for (const char* text : t.walking)
        if (text) work.status(text);
    parseRootDirectory(work);
    if (options_.mode == RecoveryMode::Deep) findUnreachedDirectories(work);
    if (t.linking) work.status(t.linking);
    linkChildren(work);
    if (t.rooting) work.status(t.rooting);
    fillRootLevel(work);
    if (t.rooted) work.status(t.rooted);
    if (t.finalProgress) {
        work.range(0, 100);
        work.position(100);
    }
    if (t.done) message_ = t.done;
    return work.stopRequested() ? ScanOutcome::stopped() : ScanOutcome::done();
}

template <typename Entry>
ScanOutcome ClusterChainParser<Entry>::checkBootSector(WorkControl& work) {
    ready_ = false;
    scanWarning_.clear();
    const BootRead boot = readBootSector();
    if (!boot.geometry) {
        // A boot sector that cannot be read (nor its copy) says nothing about the kind.
        if (!boot.primaryRead) return ScanOutcome::fail(ScanResult::ReadError, 0, kReadErrorText);
        return ScanOutcome::fail(ScanResult::NotThisKind, 0, texts().notThisKind);
    }
    if (boot.fromBackup) {
        // The volume is read, but its first sector is damaged: a warning.
        if (boot.primaryRead) warnings_.damaged(0);
        else warnings_.unreadable(0);
        work.status(kBackupBootText);
        scanWarning_ = kBackupBootText;
    }
    heap_ = boot.geometry->heap;
    fat_ = FatTable(volume_, boot.geometry->fatOffset, boot.geometry->fatBytes, boot.geometry->width,
                    heap_.clusterCount, &warnings_);
    ready_ = true;
    return ScanOutcome::done();
}

template <typename Entry>
ScanOutcome ClusterChainParser<Entry>::loadFat() {
    // The FAT is read block by block as chains need it; its first block must be there.
    const std::int64_t at = fat_.entryOffset(0);
    if (at >= volume_.size() || heap_.clusterCount == 0)
        return ScanOutcome::fail(ScanResult::Damaged, at, kDamagedText);
    if (!fat_.probe()) return ScanOutcome::fail(ScanResult::ReadError, at, kReadErrorText);
    return ScanOutcome::done();
}

template <typename Entry>
ScanOutcome ClusterChainParser<Entry>::loadRootDirectory() {
    const auto root = rootDirectory();
    if (!root) return ScanOutcome::fail(ScanResult::Damaged, 0, kDamagedText);
    root_ = *root;
    // The root's first piece must be readable; later pieces that are not are warnings.
    std::int64_t at = root_.regionOffset;
    std::int64_t bytes = std::min(root_.regionBytes, heap_.clusterSize);
    if (at < 0) {
        if (!heap_.validCluster(root_.firstCluster)) return ScanOutcome::fail(ScanResult::Damaged, 0, kDamagedText);
        at = heap_.clusterOffset(root_.firstCluster);
        bytes = heap_.clusterSize;
    }
    if (bytes <= 0 || at >= volume_.size()) return ScanOutcome::fail(ScanResult::Damaged, at, kDamagedText);
    std::vector<std::uint8_t> first(static_cast<std::size_t>(std::min(bytes, volume_.size() - at)));
    if (!volume_.readAt(at, first)) return ScanOutcome::fail(ScanResult::ReadError, at, kReadErrorText);
    return ScanOutcome::done();
}

template <typename Entry>
bool ClusterChainParser<Entry>::readContiguously(const Entry& e) const {
    // The FAT is not trusted (formatted drive), not used (exFAT's flag), or was
    // freed by a delete (the first cluster's entry is 0) while the clusters
    // usually still follow each other on disk.
    return options_.driveFormatted || e.noFatChain() || (e.deleted() && fat_.value(firstCluster(e)).value_or(0) == 0);
}

template <typename Entry>
ChainWalk ClusterChainParser<Entry>::clustersOf(const Entry& e, std::uint64_t maxClusters,
                                                ClaimedClusters& claims) const {
    return followClusters(fat_, heap_, firstCluster(e), maxClusters, readContiguously(e), claims);
}

template <typename Entry>
bool ClusterChainParser<Entry>::readDirectory(const ExtentList& extents, Decoder decoder, std::vector<Item>& items,
                                              std::vector<std::int64_t>& where, std::int64_t* read) {
    const std::int64_t piece = heap_.clusterSize;
    // Runs of up to 1 MiB are read at once and decoded piece by piece.
    const std::int64_t chunk = std::max<std::int64_t>(1, (1 << 20) / piece) * piece;
    std::vector<std::uint8_t> buffer;
    bool accepted = true;
    std::int64_t decoded = 0;
    const auto more = [&] { return accepted && !decoder.ended(); };
    for (const Extent& e : extents.extents()) {
        for (std::int64_t done = 0; more() && done < e.length; done += chunk) {
            const std::int64_t at = e.offset + done;
            buffer.resize(static_cast<std::size_t>(std::min(chunk, e.length - done)));
            const bool readWhole = volume_.readAt(at, buffer);
            for (std::size_t k = 0; more() && k < buffer.size(); k += static_cast<std::size_t>(piece)) {
                const std::size_t n = std::min(buffer.size() - k, static_cast<std::size_t>(piece));
                const MutableByteSpan part(buffer.data() + k, n);
                // A piece that cannot be read is taken as zeros (an empty directory piece).
                if (!readWhole && !volume_.readAt(at + static_cast<std::int64_t>(k), part)) {
                    std::fill(part.begin(), part.end(), std::uint8_t{0});
                    warnings_.unreadable(at + static_cast<std::int64_t>(k));
                }
                accepted = decoder.feed(part, items);
                decoded += static_cast<std::int64_t>(n);
                where.resize(items.size(), at + static_cast<std::int64_t>(k));
            }
        }
    }
    decoder.finish(items);
    where.resize(items.size(), extents.empty() ? -1 : extents.extents().back().offset);
    if (read) *read = decoded;
    return accepted;
}

template <typename Entry>
void ClusterChainParser<Entry>::releaseUnread(const ExtentList& extents, std::int64_t read) {
    const std::int64_t size = heap_.clusterSize;
    for (const Extent& e : extents.extents()) {
        // Whole clusters of this extent that lie after the bytes read.
        const std::int64_t kept = std::clamp<std::int64_t>((read + size - 1) / size * size, 0, e.length);
        read = std::max<std::int64_t>(read - e.length, 0);
        if (e.offset < heap_.heapOffset || kept >= e.length) continue;
        const std::int64_t first = (e.offset + kept - heap_.heapOffset) / size + 2;
        claimed_.release(static_cast<std::uint32_t>(first), static_cast<std::uint64_t>((e.length - kept) / size));
    }
}

template <typename Entry>
void ClusterChainParser<Entry>::addItems(std::vector<Item>& items, const std::vector<std::int64_t>& where,
                                         std::uint32_t parent, std::vector<std::uint32_t>& folders) {
    std::unordered_map<std::uint32_t, std::uint32_t> byCluster;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (entries_.size() >= kMaxRecords) {
            warnings_.damaged(where[i]);
            return;
        }
        Entry e{std::move(items[i]), where[i]};
        const std::uint32_t cluster = firstCluster(e);
        const auto position = static_cast<std::uint32_t>(entries_.size());
        if (e.folder() && heap_.validCluster(cluster)) {
            const auto seen = byCluster.find(cluster);
            if (seen != byCluster.end()) {
                // One record for both; a live record is never renamed after a deleted one.
                Entry& earlier = entries_[seen->second];
                if (!(e.deleted() && !earlier.deleted())) earlier.renameFrom(e);
                continue;
            }
            byCluster.emplace(cluster, position);
            folders.push_back(position);
        } else if (!e.deleted() && (e.folder() || e.size() > 0) && !heap_.validCluster(cluster)) {
            // A live folder, or a live file with content, names no cluster of the volume.
            warnings_.damaged(e.where);
        }
        entries_.push_back(std::move(e));
        parents_.push_back(parent);
    }
}

template <typename Entry>
void ClusterChainParser<Entry>::parseRootDirectory(WorkControl& work) {
    startTable();
    walkRoot(work);
}

template <typename Entry>
void ClusterChainParser<Entry>::startTable() {
    entries_.clear();
    parents_.clear();
    claimed_.clear();
    Entry dummy{};
    dummy.name() = kDummyEntryName;
    entries_.push_back(std::move(dummy));
    parents_.push_back(EntryTable::kNone);
}

template <typename Entry>
void ClusterChainParser<Entry>::walkRoot(WorkControl& work) {
    ExtentList extents;
    if (root_.regionOffset >= 0) {
        extents.add(root_.regionOffset, std::min(root_.regionBytes, volume_.size() - root_.regionOffset));
    } else {
        // The root has no length of its own: its chain (or, on a formatted
        // drive, its first cluster) is all of it.
        const bool formatted = options_.driveFormatted;
        const ChainWalk walk =
            followClusters(fat_, heap_, root_.firstCluster, formatted ? 1 : kWholeChain, formatted, claimed_);
        if (walk.damaged()) warnings_.damaged(walk.where);
        extents = walk.extents;
    }
    std::vector<Item> items;
    std::vector<std::int64_t> where;
    std::int64_t read = 0;
    if (readDirectory(extents, decoder(true), items, where, &read) && root_.regionOffset < 0 &&
        read < extents.total())
        releaseUnread(extents, read);
    std::vector<std::uint32_t> folders;
    addItems(items, where, 0, folders);
    walkFolders(folders, work);
}

template <typename Entry>
void ClusterChainParser<Entry>::walkFolders(const std::vector<std::uint32_t>& top, WorkControl& work) {
    // Depth first, in slot order, live folders before deleted ones: a deleted
    // folder's old clusters may now belong to a live folder, which must get them.
    const auto deleted = [&](std::uint32_t f) { return entries_[f].deleted(); };
    FolderStacks stacks;
    stacks.push(top, 1, deleted);
    PendingFolder folder;
    while (stacks.pop(folder)) {
        if (!work.checkpoint()) break;
        const Entry& e = entries_[folder.record];
        const bool live = !e.deleted();
        if (folder.depth > EntryTable::kMaxDepth) {
            // Shown, but not entered.
            warnings_.damaged(e.where);
            continue;
        }
        if (claimed_.claimed(firstCluster(e))) {
            // Another folder (or this one's own parent) holds the cluster: a
            // cross-link on a live folder, stale clusters on a deleted one.
            if (live) warnings_.damaged(e.where);
            continue;
        }
        // A folder without a length (FAT) is its whole chain, or its first
        // cluster where it is read contiguously; an exFAT folder is its data length.
        const auto bytes = e.folderBytes();
        const std::uint64_t count = bytes                   ? std::max<std::uint64_t>(1, heap_.clustersFor(*bytes))
                                    : readContiguously(e) ? 1
                                                          : kWholeChain;
        const ChainWalk walk = clustersOf(e, count, claimed_);
        if (live && (walk.damaged() || (bytes && walk.end == ChainEnd::EndMark))) warnings_.damaged(walk.where);

        std::vector<Item> items;
        std::vector<std::int64_t> where;
        std::int64_t read = 0;
        // A folder whose first cluster is not a directory (its cluster was reused) yields nothing.
        if (!readDirectory(walk.extents, decoder(false), items, where, &read)) {
            if (live) warnings_.damaged(e.where);
        } else if (read < walk.extents.total()) {
            // Clusters after the directory's end belong to no one yet (exFAT's
            // type 0x00 entry ends a folder that claims more than it holds).
            releaseUnread(walk.extents, read);
        }
        std::vector<std::uint32_t> sub;
        addItems(items, where, folder.record, sub);
        stacks.push(sub, folder.depth + 1, deleted);
    }
}

template <typename Entry>
void ClusterChainParser<Entry>::linkChildren(WorkControl& work) {
    const std::size_t count = entries_.size();
    const bool progress = texts().linkProgress;
    if (progress) work.range(0, 1000);
    table_.reset(count);
    for (std::size_t i = 1; i < count; ++i) {
        table_.append(parents_[i], i);
        if (progress && (i & 0x3FF) == 0) work.position(static_cast<std::int64_t>(i * 1000 / count));
    }
    if (progress) work.position(1000);
    parents_ = {};
}

template <typename Entry>
void ClusterChainParser<Entry>::fillRootLevel(WorkControl& work) {
    std::size_t shown = 0;
    for (const EntryRef e : table_.children(0)) {
        if ((++shown & 0xFF) != 1) continue;
        char text[64];
        std::snprintf(text, sizeof text, "filling entry =%llu in tree ", static_cast<unsigned long long>(e));
        work.status(text);
    }
}

template <typename Entry>
std::vector<EntryRef> ClusterChainParser<Entry>::children(EntryRef e) const {
    if (e == 0 || e >= entries_.size()) return {};
    return table_.children(e);
}

template <typename Entry>
std::string ClusterChainParser<Entry>::sizeText(EntryRef e) const {
    return tavrel::sizeText(size(e));
}

template <typename Entry>
bool ClusterChainParser<Entry>::saveFile(EntryRef e, ByteSink& out, WorkControl& work) {
    if (!ready_ || e == 0 || e >= entries_.size() || isFolder(e)) return false;
    const Entry& entry = entries_[e];
    const std::int64_t size = entry.size();
    if (size == 0) return true;
    if (!heap_.validCluster(firstCluster(entry))) return false;

    // Never more clusters than the size needs; a chain that ends sooner leaves
    // the file short.
    const std::uint64_t needed = heap_.clustersFor(static_cast<std::uint64_t>(size));
    ClaimedClusters own;
    const ChainWalk walk = clustersOf(entry, needed, own);
    if (!entry.deleted() && walk.clusters < needed) warnings_.damaged(walk.where);
    CountingSink counted(out);
    const CopyResult r = copyExtents(volume_, walk.extents.extents(), size, counted, work, &warnings_);
    // Unreadable ranges were written as zeros, so the file has its length, but it
    // is not recovered completely: the save says so, as every parser's does.
    return r == CopyResult::Complete && counted.written == size;
}

template class ClusterChainParser<FatEntry>;
template class ClusterChainParser<ExFatEntry>;

}  // namespace tavrel::fs::fat
