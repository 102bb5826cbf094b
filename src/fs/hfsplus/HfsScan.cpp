// The node passes of the HFS+ parser: the volume header, the extents-overflow
// file, and the catalog's leaf nodes (read through the catalog file in the
// standard mode, found anywhere in the volume in the other modes).
#include <algorithm>

#include "fs/hfsplus/HFSP.h"

namespace tavrel::fs {

using namespace hfsplus;

HFSP::HFSP(const VolumeView& volume, const ScanOptions& options) : volume_(volume), options_(options) {}

ScanOutcome HFSP::failed(std::int64_t offset, const char* text) {
    return ScanOutcome::fail(ScanResult::Damaged, offset, text);
}

ScanOutcome HFSP::scan(WorkControl& work) {
    forgetAllocationMap();
    deep_ = options_.mode != RecoveryMode::Standard;
    if (!attach() || (!readVolumeHeader() && !deep_)) {
        work.status(kAbortedText);
        return ScanOutcome::fail(ScanResult::ReadError, kVolumeHeaderOffset, kAbortedText);
    }
    if (alternateHeader_) {
        work.status(kAlternateHeaderText);
        scanWarning_ = kAlternateHeaderText;
    }
    if (!validBlockSize(header_.blockSize)) {
        if (!deep_) {
            work.status(kBadBlockSizeText);
            return failed(kVolumeHeaderOffset + static_cast<std::int64_t>(kBlockSizeField), kBadBlockSizeText);
        }
        // The other modes find the catalog without a header; the block size is
        // learnt from the file records afterwards.
        headerless_ = true;
        warnings_.damaged(kVolumeHeaderOffset);
        work.status(kNoHeaderText);
        scanWarning_ = kNoHeaderText;
    } else {
        blockSize_ = header_.blockSize;
    }
    // A damaged extents-overflow file ends the standard scan; the other modes
    // go on without the further extents it would have given.
    if (!headerless_ && !loadExtentsOverflow(work) && !deep_) {
        work.status(kAbortedText);
        return failed(kVolumeHeaderOffset, kAbortedText);
    }
    if (!deep_ && !loadCatalogNodes(work)) {
        work.status(kAbortedText);
        return failed(kVolumeHeaderOffset, kAbortedText);
    }
    if (deep_) {
        if (const char* text = scanForLeafNodes(work)) {
            work.status(text);
            return failed(catalogOffset_ >= 0 ? catalogOffset_ : kVolumeHeaderOffset, text);
        }
    }
    parseCatalogRecords(work);
    if (headerless_) blockSize_ = learnBlockSize();
    linkChildren(work);
    fillRootLevel(work);
    return stopped_ ? ScanOutcome::stopped() : ScanOutcome::done();
}

bool HFSP::attach() {
    entries_.clear();
    lookup_.clear();
    rootLevel_.clear();
    catalogNodes_.clear();
    overflow_.clear();
    stopped_ = false;
    alternateHeader_ = headerless_ = false;
    scanWarning_.clear();
    catalogOffset_ = -1;
    blockSize_ = 0;
    return volume_.size() > 0;
}

// The header at byte 1024, or when that one is unusable the alternate copy
// 1024 bytes before the volume's end (as the file system's own repair tool
// does). False only when neither could be read.
bool HFSP::readVolumeHeader() {
    std::vector<std::uint8_t> bytes(kVolumeHeaderSize);
    const bool read = volume_.readAt(kVolumeHeaderOffset, bytes);
    if (!read) warnings_.unreadable(kVolumeHeaderOffset);
    header_ = *decodeVolumeHeader(bytes);
    if (read && usableVolumeHeader(header_)) return true;
    const std::int64_t alternate = volume_.size() - kVolumeHeaderOffset;
    if (alternate > kVolumeHeaderOffset && volume_.readAt(alternate, bytes)) {
        const VolumeHeader copy = *decodeVolumeHeader(bytes);
        if (usableVolumeHeader(copy)) {
            header_ = copy;
            alternateHeader_ = true;
            if (read) warnings_.damaged(kVolumeHeaderOffset);
            return true;
        }
    }
    return read;
}

std::vector<HfsExtent> HFSP::allExtents(std::uint64_t cnid, std::vector<HfsExtent> extents,
                                        std::uint32_t totalBlocks) const {
    std::uint64_t blocks = 0;
    for (const HfsExtent& e : extents) blocks += e.blockCount;
    // Each overflow record continues the fork at the block count reached so far;
    // a record that adds nothing ends the lookups, as does a missing one.
    for (std::size_t steps = 0; blocks < totalBlocks && steps <= overflow_.size(); ++steps) {
        const auto it = overflow_.find({static_cast<std::uint32_t>(cnid), kDataFork, static_cast<std::uint32_t>(blocks)});
        if (it == overflow_.end()) break;
        std::uint64_t added = 0;
        for (const HfsExtent& e : it->second) {
            if (e.blockCount == 0) break;
            extents.push_back(e);
            added += e.blockCount;
        }
        if (added == 0) break;
        blocks += added;
    }
    return extents;
}

std::vector<HfsExtent> HFSP::forkExtents(std::uint32_t fileId, const ForkData& fork) const {
    std::vector<HfsExtent> extents;
    for (const HfsExtent& e : fork.extents) {
        if (e.blockCount == 0) break;
        extents.push_back(e);
    }
    return allExtents(fileId, std::move(extents), fork.totalBlocks);
}

std::optional<HFSP::BTree> HFSP::openBTree(const ForkData& fork, std::uint32_t fileId) {
    BTree tree;
    tree.fork = ForkMap(forkExtents(fileId, fork), blockSize_, volume_.size());
    std::vector<std::uint8_t> first(512);
    if (tree.fork.mappedBytes() < static_cast<std::int64_t>(first.size())) return std::nullopt;
    if (!tree.fork.read(volume_, 0, first)) {
        warnings_.unreadable(tree.fork.volumeOffset(0));
        return std::nullopt;
    }
    const auto header = decodeBTreeHeader(first);
    if (!header) return std::nullopt;
    tree.header = *header;
    // totalNodes is believed only as far as the fork and the volume reach.
    tree.nodes = std::min<std::int64_t>({header->totalNodes, tree.fork.mappedBytes() / header->nodeSize,
                                         volume_.size() / header->nodeSize});
    return tree;
}

std::vector<HFSP::NodeRecord> HFSP::readLeafNodes(const BTree& tree, WorkControl& work, bool& stopped) {
    // Memory grows with the leaves found, never with the node count the
    // header claims: those nodes must be stored in the image to be kept.
    std::vector<NodeRecord> kept;
    const std::int64_t nodeSize = tree.header.nodeSize;
    std::vector<std::uint8_t> node(static_cast<std::size_t>(nodeSize));
    work.range(0, tree.nodes);
    for (std::int64_t n = 1; n < tree.nodes; ++n) {
        if (!work.checkpoint()) {
            stopped = true;
            break;
        }
        if ((n & 255) == 0) work.position(n);
        const std::int64_t at = n * nodeSize;
        // Nodes the image does not store read as zeros: passed over at once.
        if (const std::int64_t start = tree.fork.volumeOffset(at); start >= 0) {
            const std::int64_t unstored = std::min(volume_.nextStored(start) - start, tree.fork.contiguousFrom(at));
            if (unstored > 0) {
                n = (at + unstored + nodeSize - 1) / nodeSize - 1;
                continue;
            }
        }
        if (!tree.fork.read(volume_, at, node)) {
            warnings_.unreadable(tree.fork.volumeOffset(at));
            continue;
        }
        const auto d = decodeNodeDescriptor(node);
        if (!d || d->kind != static_cast<std::int8_t>(NodeKind::Leaf) || d->numRecords == 0) continue;
        NodeRecord r;
        r.nodeNumber = n;
        r.volumeOffset = tree.fork.volumeOffset(at);
        r.offsets = recordOffsets(node, d->numRecords);
        r.live = false;
        r.next = d->fLink;
        kept.push_back(std::move(r));
    }
    work.position(tree.nodes);
    // Walk the leaf chain from the header's first leaf; a node met twice ends it.
    const auto keptAt = [&kept](std::int64_t n) {
        const auto it = std::lower_bound(kept.begin(), kept.end(), n,
                                         [](const NodeRecord& r, std::int64_t v) { return r.nodeNumber < v; });
        return it != kept.end() && it->nodeNumber == n ? it : kept.end();
    };
    bool chained = false;
    for (auto it = keptAt(tree.header.firstLeafNode); tree.header.firstLeafNode != 0 && it != kept.end() && !it->live;
         it = it->next == 0 ? kept.end() : keptAt(it->next))
        it->live = chained = true;
    // A chain that reaches no leaf at all cannot tell live leaves from stale ones.
    if (!chained)
        for (NodeRecord& r : kept) r.live = true;
    std::stable_partition(kept.begin(), kept.end(), [](const NodeRecord& r) { return r.live; });
    return kept;
}

std::vector<std::uint8_t> HFSP::readNode(const NodeRecord& node, std::size_t nodeSize) const {
    std::vector<std::uint8_t> bytes(nodeSize);
    const bool ok = node.nodeNumber >= 0 && catalog_
                        ? catalog_->fork.read(volume_, node.nodeNumber * static_cast<std::int64_t>(nodeSize), bytes)
                        : volume_.readAt(node.volumeOffset, bytes);
    if (!ok) bytes.clear();
    return bytes;
}

bool HFSP::loadExtentsOverflow(WorkControl& work) {
    const auto tree = openBTree(header_.extentsFile, kExtentsFileId);
    if (!tree) return false;
    const std::vector<NodeRecord> leaves = readLeafNodes(*tree, work, stopped_);
    std::vector<std::uint8_t> node(tree->header.nodeSize);
    // Live leaves come first and win; a stale leaf only fills gaps.
    for (const NodeRecord& leaf : leaves) {
        if (!tree->fork.read(volume_, leaf.nodeNumber * tree->header.nodeSize, node)) {
            warnings_.unreadable(leaf.volumeOffset);
            continue;
        }
        for (const std::uint16_t offset : leaf.offsets) {
            const auto r = decodeOverflowRecord(node, offset);
            if (!r) continue;
            overflow_.emplace(OverflowKey{r->fileId, r->forkType, r->startBlock}, r->extents);
        }
    }
    return true;
}

bool HFSP::loadCatalogNodes(WorkControl& work) {
    catalog_ = openBTree(header_.catalogFile, kCatalogFileId);
    if (!catalog_) return false;
    catalogNodeSize_ = catalog_->header.nodeSize;
    catalogNodes_ = readLeafNodes(*catalog_, work, stopped_);
    return true;
}

// Reads the volume in chunks of kChunkSize plus `overlap` bytes (chunks the
// image does not store are passed over) and calls visit(chunk start, bytes)
// for each; a range that cannot be read is zeros, counted per `step`.
template <typename Visit>
void HFSP::forEachChunk(WorkControl& work, std::int64_t overlap, std::int64_t step, Visit visit) {
    const std::int64_t volumeBytes = volume_.size();
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min(kChunkSize + overlap, volumeBytes)));
    const std::int64_t unit = blockSize_ > 0 ? blockSize_ : 512;
    work.range(0, volumeBytes / unit);
    for (std::int64_t chunk = volume_.storedChunkFrom(0, kChunkSize); !stopped_ && chunk < volumeBytes;
         chunk = volume_.storedChunkFrom(chunk + kChunkSize, kChunkSize)) {
        if (!work.checkpoint()) {
            stopped_ = true;
            break;
        }
        work.position(chunk / unit);
        const std::int64_t length = std::min<std::int64_t>(kChunkSize + overlap, volumeBytes - chunk);
        const MutableByteSpan bytes(buffer.data(), static_cast<std::size_t>(length));
        if (!volume_.readAt(chunk, bytes)) {
            // Read piece by piece so that one bad range loses only itself.
            for (std::int64_t at = 0; at < length; at += step) {
                const auto piece = bytes.subspan(static_cast<std::size_t>(at),
                                                 static_cast<std::size_t>(std::min(step, length - at)));
                if (!volume_.readAt(chunk + at, piece)) {
                    std::fill(piece.begin(), piece.end(), std::uint8_t{0});
                    warnings_.unreadable(chunk + at);
                }
            }
        }
        if (!visit(chunk, ByteSpan(bytes))) break;
    }
    work.position(volumeBytes / unit);
}

// Without the header's catalog fork: the first catalog header node in the
// volume (a header node of the catalog's key length and a valid node size),
// and a catalog file taken to run on from it, contiguous, for its node count.
std::optional<HFSP::BTree> HFSP::findCatalogHeader(WorkControl& work) {
    std::optional<BTree> found;
    forEachChunk(work, 512, 512, [&](std::int64_t chunk, ByteSpan bytes) {
        for (std::size_t at = 0; at + 512 <= bytes.size() && at < static_cast<std::size_t>(kChunkSize); at += 512) {
            const auto header = decodeBTreeHeader(bytes.subspan(at, 512));
            if (!header || header->maxKeyLength != kCatalogMaxKeyLength) continue;
            const std::int64_t start = chunk + static_cast<std::int64_t>(at);
            if (start / 512 > UINT32_MAX) return false;
            BTree tree;
            tree.header = *header;
            const std::int64_t claimed = std::int64_t{header->totalNodes} * header->nodeSize;
            const std::int64_t bytesOn = std::min(claimed, volume_.size() - start);
            const HfsExtent extent{static_cast<std::uint32_t>(start / 512),
                                   static_cast<std::uint32_t>(std::min<std::int64_t>(bytesOn / 512, UINT32_MAX))};
            tree.fork = ForkMap(std::vector<HfsExtent>{extent}, 512, volume_.size());
            tree.nodes = tree.fork.mappedBytes() / header->nodeSize;
            found = std::move(tree);
            catalogOffset_ = start;
            return false;
        }
        return true;
    });
    return found;
}

// The block size of a volume without a header: of the powers of two that put
// the catalog file on a block boundary, the one for which most files' block
// counts match their sizes and whose extents lie within the volume; 4096 (the
// usual size) wins a tie.
std::uint32_t HFSP::learnBlockSize() const {
    std::uint32_t best = 0;
    std::int64_t bestScore = -1;
    for (std::uint32_t b = 512; b <= 65536; b *= 2) {
        if (catalogOffset_ % b != 0) continue;
        std::int64_t score = 0;
        for (const HfsEntry& e : entries_) {
            if (e.folder() || e.size == 0 || e.totalBlocks != (e.size + b - 1) / b) continue;
            bool inside = true;
            for (const HfsExtent& x : e.extents)
                inside = inside && (std::uint64_t{x.startBlock} + x.blockCount) * b <= static_cast<std::uint64_t>(volume_.size());
            score += inside ? 1 : 0;
        }
        if (score > bestScore || (score == bestScore && b == 4096)) {
            best = b;
            bestScore = score;
        }
    }
    return best;
}

const char* HFSP::scanForLeafNodes(WorkControl& work) {
    catalog_ = headerless_ ? std::nullopt : openBTree(header_.catalogFile, kCatalogFileId);
    if (catalog_) catalogOffset_ = catalog_->fork.volumeOffset(0);
    // A catalog the header does not lead to is looked for in the volume.
    if (!catalog_) catalog_ = findCatalogHeader(work);
    if (stopped_) return nullptr;
    if (!catalog_) return kBadNodeSizeText;
    catalogNodeSize_ = catalog_->header.nodeSize;
    const std::int64_t nodeSize = catalogNodeSize_;
    // Nodes start at multiples of the node size within a file that starts on a
    // block boundary, so every multiple of the smaller of the two is a candidate.
    const std::int64_t step = std::min<std::int64_t>(blockSize_ > 0 ? blockSize_ : 512, nodeSize);
    const std::int64_t volumeBytes = volume_.size();
    if (volumeBytes < nodeSize) return kBadBlockSizeText;
    // The catalog file's own leaves are read through its extents, so a node
    // split between two of them is read whole; the volume pass adds the leaf
    // nodes found anywhere else, which the tree no longer reaches.
    catalogNodes_ = readLeafNodes(*catalog_, work, stopped_);
    std::unordered_set<std::int64_t> known;
    for (const NodeRecord& r : catalogNodes_) known.insert(r.volumeOffset);

    forEachChunk(work, nodeSize, step, [&](std::int64_t chunk, ByteSpan bytes) {
        const auto length = static_cast<std::int64_t>(bytes.size());
        for (std::int64_t at = 0; at < kChunkSize && at + nodeSize <= length; at += step) {
            const ByteSpan node = bytes.subspan(static_cast<std::size_t>(at), static_cast<std::size_t>(nodeSize));
            if (!looksLikeLeafNode(node) || known.count(chunk + at) != 0) continue;
            NodeRecord r;
            r.volumeOffset = chunk + at;
            r.offsets = recordOffsets(node, be16(node, 10));
            r.live = false;
            catalogNodes_.push_back(std::move(r));
        }
        return true;
    });
    std::stable_partition(catalogNodes_.begin(), catalogNodes_.end(), [](const NodeRecord& r) { return r.live; });
    return nullptr;
}

}  // namespace tavrel::fs
