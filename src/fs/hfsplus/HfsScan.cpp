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
    deep_ = options_.mode != RecoveryMode::Standard;
    if (!attach() || !readVolumeHeader()) {
        work.status(kAbortedText);
        return ScanOutcome::fail(ScanResult::ReadError, kVolumeHeaderOffset, kAbortedText);
    }
    if (!validBlockSize(header_.blockSize)) {
        work.status(kBadBlockSizeText);
        return failed(kVolumeHeaderOffset + static_cast<std::int64_t>(kBlockSizeField), kBadBlockSizeText);
    }
    blockSize_ = header_.blockSize;
    // A damaged extents-overflow file ends the standard scan; the other modes
    // go on without the further extents it would have given.
    if (!loadExtentsOverflow(work) && !deep_) {
        work.status(kAbortedText);
        return failed(kVolumeHeaderOffset, kAbortedText);
    }
    if (deep_ ? !scanForLeafNodes(work) : !loadCatalogNodes(work)) {
        const char* text = deep_ ? kBadBlockSizeText : kAbortedText;
        work.status(text);
        return failed(kVolumeHeaderOffset, text);
    }
    parseCatalogRecords(work);
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
    return volume_.size() > 0;
}

bool HFSP::readVolumeHeader() {
    std::vector<std::uint8_t> bytes(kVolumeHeaderSize);
    if (!volume_.readAt(kVolumeHeaderOffset, bytes)) {
        warnings_.unreadable(kVolumeHeaderOffset);
        return false;
    }
    header_ = *decodeVolumeHeader(bytes);
    return true;
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
    std::vector<NodeRecord> kept;
    const std::size_t nodeSize = tree.header.nodeSize;
    std::vector<std::uint8_t> node(nodeSize);
    // Leaf nodes and their forward links, for telling live leaves from stale ones.
    std::vector<std::uint32_t> nextLeaf(static_cast<std::size_t>(tree.nodes), 0);
    std::vector<std::size_t> keptAt(static_cast<std::size_t>(tree.nodes), SIZE_MAX);
    work.range(0, tree.nodes);
    for (std::int64_t n = 1; n < tree.nodes; ++n) {
        if (!work.checkpoint()) {
            stopped = true;
            break;
        }
        if ((n & 255) == 0) work.position(n);
        const std::int64_t at = n * static_cast<std::int64_t>(nodeSize);
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
        nextLeaf[static_cast<std::size_t>(n)] = d->fLink;
        keptAt[static_cast<std::size_t>(n)] = kept.size();
        kept.push_back(std::move(r));
    }
    work.position(tree.nodes);
    // Walk the leaf chain from the header's first leaf; a node met twice ends it.
    std::uint32_t n = tree.header.firstLeafNode;
    bool chained = false;
    for (std::int64_t steps = 0; n != 0 && n < keptAt.size() && steps < tree.nodes; ++steps) {
        const std::size_t k = keptAt[n];
        if (k == SIZE_MAX || kept[k].live) break;
        kept[k].live = chained = true;
        n = nextLeaf[n];
    }
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

bool HFSP::scanForLeafNodes(WorkControl& work) {
    catalog_ = openBTree(header_.catalogFile, kCatalogFileId);
    if (!catalog_) return false;
    catalogNodeSize_ = catalog_->header.nodeSize;
    const std::int64_t nodeSize = catalogNodeSize_;
    // Nodes start at multiples of the node size within a file that starts on a
    // block boundary, so every multiple of the smaller of the two is a candidate.
    const std::int64_t step = std::min<std::int64_t>(blockSize_, nodeSize);
    const std::int64_t volumeBytes = volume_.size();
    if (volumeBytes / blockSize_ <= 0 || volumeBytes < nodeSize) return false;
    // The catalog file's own leaves are read through its extents, so a node
    // split between two of them is read whole; the volume pass adds the leaf
    // nodes found anywhere else, which the tree no longer reaches.
    catalogNodes_ = readLeafNodes(*catalog_, work, stopped_);
    std::unordered_set<std::int64_t> known;
    for (const NodeRecord& r : catalogNodes_) known.insert(r.volumeOffset);

    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min(kChunkSize + nodeSize, volumeBytes)));
    work.range(0, volumeBytes / blockSize_);
    // Chunks the image does not store are passed over without a look.
    for (std::int64_t chunk = volume_.storedChunkFrom(0, kChunkSize); !stopped_ && chunk + nodeSize <= volumeBytes;
         chunk = volume_.storedChunkFrom(chunk + kChunkSize, kChunkSize)) {
        if (!work.checkpoint()) {
            stopped_ = true;
            break;
        }
        work.position(chunk / blockSize_);
        const std::int64_t length = std::min<std::int64_t>(kChunkSize + nodeSize, volumeBytes - chunk);
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
        for (std::int64_t at = 0; at < kChunkSize && at + nodeSize <= length; at += step) {
            const ByteSpan node(buffer.data() + at, static_cast<std::size_t>(nodeSize));
            if (!looksLikeLeafNode(node) || known.count(chunk + at) != 0) continue;
            NodeRecord r;
            r.volumeOffset = chunk + at;
            r.offsets = recordOffsets(node, be16(node, 10));
            r.live = false;
            catalogNodes_.push_back(std::move(r));
        }
    }
    work.position(volumeBytes / blockSize_);
    std::stable_partition(catalogNodes_.begin(), catalogNodes_.end(), [](const NodeRecord& r) { return r.live; });
    return true;
}

}  // namespace tavrel::fs
