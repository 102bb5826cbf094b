#include "image/QcowClusterMap.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "image/Inflate.h"

namespace tavrel {

namespace {

constexpr std::uint32_t kQcowMagic = 0x514649FBu;  // "QFI\xFB"
constexpr std::size_t kHeaderV2Bytes = 72;
constexpr std::size_t kHeaderV3Bytes = 104;
// Bits 9-55 of an L1 or L2 entry hold a file offset.
constexpr std::uint64_t kOffsetMask = 0x00FFFFFFFFFFFE00ull;
constexpr std::uint64_t kCopiedFlag = 1ull << 63;
constexpr std::uint64_t kCompressedFlag = 1ull << 62;
constexpr std::uint64_t kZeroFlag = 1ull;
// Incompatible features the map reads: the dirty bit (refcounts may be stale,
// the mapping is not) and the compression type (compressed clusters are libqcow's).
constexpr std::uint64_t kReadableFeatures = 0x1 | 0x8;
constexpr std::uint64_t kMaxL1Bytes = 64u << 20;
constexpr std::uint64_t kCompressionTypeFeature = 0x8;
// The header of version 3 may go on with the compression type byte.
constexpr std::size_t kCompressionTypeAt = 104;

// The last cluster each thread inflated, so that short reads of one cluster
// inflate it once.
struct InflatedCluster {
    std::uint64_t map = 0;
    std::int64_t hostOffset = -1;
    std::vector<std::uint8_t> bytes;
};
thread_local InflatedCluster tInflated;
std::atomic<std::uint64_t> gMaps{0};

}  // namespace

bool QcowClusterMap::open(const std::string& path) {
    if (!file_.openReadOnly(path)) return false;
    fileLength_ = file_.length();
    id_ = ++gMaps;
    std::vector<std::uint8_t> header(kCompressionTypeAt + 8);
    std::size_t got = 0;
    if (!file_.readAt(0, header, &got) || got < kHeaderV2Bytes) return false;
    const ByteSpan h(header.data(), got);
    version_ = be32(h, 4);
    clusterBits_ = be32(h, 20);
    if (be32(h, 0) != kQcowMagic || (version_ != 2 && version_ != 3)) return false;
    if (clusterBits_ < 9 || clusterBits_ > 21 || be32(h, 32) != 0) return false;
    if (version_ == 3 && (got < kHeaderV3Bytes || (be64(h, 72) & ~kReadableFeatures) != 0)) return false;
    // DEFLATE unless the header names another compression type.
    if (version_ == 3 && (be64(h, 72) & kCompressionTypeFeature) != 0)
        deflateClusters_ = be32(h, 100) > kCompressionTypeAt && got > kCompressionTypeAt && h[kCompressionTypeAt] == 0;
    const std::uint64_t size = be64(h, 24);
    if (size == 0 || size > static_cast<std::uint64_t>(INT64_MAX) / 2) return false;
    diskSize_ = static_cast<std::int64_t>(size);
    hasParent_ = be64(h, 8) != 0;
    l2Bits_ = clusterBits_ - 3;

    // The L1 table must cover the whole disk and lie inside the file.
    const std::uint64_t l1Span = 1ull << (clusterBits_ + l2Bits_);
    const std::uint64_t needed = (size + l1Span - 1) / l1Span;
    const std::uint64_t entries = be32(h, 36);
    const std::uint64_t l1Offset = be64(h, 40);
    const auto length = static_cast<std::uint64_t>(fileLength_);
    if (entries < needed || needed * 8 > kMaxL1Bytes || l1Offset % (1ull << clusterBits_) != 0 ||
        l1Offset > length || length - l1Offset < needed * 8)
        return false;
    std::vector<std::uint8_t> raw(needed * 8);
    if (!file_.readAt(static_cast<std::int64_t>(l1Offset), raw, &got) || got != raw.size()) return false;
    l1_.resize(needed);
    for (std::size_t i = 0; i < needed; ++i) l1_[i] = be64(raw, i * 8);
    return true;
}

std::shared_ptr<const QcowClusterMap::Table> QcowClusterMap::l2Table(std::uint64_t fileOffset) const {
    {
        const std::lock_guard lock(cacheLock_);
        if (const auto it = cache_.find(fileOffset); it != cache_.end()) return it->second;
    }
    const std::size_t bytes = std::size_t{1} << clusterBits_;
    std::vector<std::uint8_t> raw(bytes);
    std::size_t got = 0;
    if (!file_.readAt(static_cast<std::int64_t>(fileOffset), raw, &got) || got != bytes) return nullptr;
    auto table = std::make_shared<Table>(bytes / 8);
    for (std::size_t i = 0; i < table->size(); ++i) (*table)[i] = be64(raw, i * 8);

    const std::lock_guard lock(cacheLock_);
    if (cache_.emplace(fileOffset, table).second) cacheOrder_.push_back(fileOffset);
    while (cacheOrder_.size() * bytes > kCachedBytes) {
        cache_.erase(cacheOrder_.front());
        cacheOrder_.pop_front();
    }
    return table;
}

QcowClusterMap::Kind QcowClusterMap::kindOf(std::uint64_t entry, std::int64_t* hostOffset,
                                            std::int64_t* packedBytes) const {
    *hostOffset = -1;
    const auto length = static_cast<std::uint64_t>(fileLength_);
    if (entry & kCompressedFlag) {
        if (!deflateClusters_) return Kind::Library;
        // Bits 0..x-1 give the file offset, the bits above up to 61 the sectors
        // it spans after the first, with x = 62 - (cluster bits - 8).
        const unsigned x = 62 - (clusterBits_ - 8);
        const std::uint64_t offset = entry & ((1ull << x) - 1);
        const std::uint64_t sectors = ((entry & ((1ull << 62) - 1)) >> x) + 1;
        if (offset >= length) return Kind::Damaged;
        *hostOffset = static_cast<std::int64_t>(offset);
        // What lies past the file's end is not there to read.
        *packedBytes = static_cast<std::int64_t>(std::min(sectors * 512 - offset % 512, length - offset));
        return Kind::Compressed;
    }
    const bool reserved = (entry & ~(kOffsetMask | kCopiedFlag | kZeroFlag)) != 0 ||
                          (version_ < 3 && (entry & kZeroFlag) != 0);
    if (!reserved && (entry & kZeroFlag)) return Kind::Zero;
    const std::uint64_t offset = entry & kOffsetMask;
    if (offset == 0) return reserved ? Kind::Library : Kind::Unallocated;
    const std::uint64_t clusterBytes = 1ull << clusterBits_;
    if (offset % clusterBytes != 0 || offset >= length) return Kind::Damaged;
    *hostOffset = static_cast<std::int64_t>(offset);
    // The file's end cuts the cluster: what the file holds of it is read.
    if (length - offset < clusterBytes) return Kind::Damaged;
    return reserved ? Kind::Library : Kind::Data;
}

QcowClusterMap::Run QcowClusterMap::runAt(std::int64_t diskOffset, std::int64_t maxLength) const {
    Run run;
    const std::int64_t end = std::min(diskSize_, diskOffset + std::max<std::int64_t>(maxLength, 1));
    const std::uint64_t clusterBytes = 1ull << clusterBits_;
    const std::uint64_t l2Mask = (1ull << l2Bits_) - 1;
    const std::uint64_t l1Reserved = ~(kOffsetMask | kCopiedFlag);
    bool started = false;
    std::int64_t expectHost = -1;
    // Adds the cluster at pos to the run; false when it does not continue it.
    const auto take = [&](Kind kind, std::int64_t host, std::int64_t packed, std::int64_t pos) {
        if (!started) {
            started = true;
            run.kind = kind;
            run.packedBytes = packed;
            // A compressed cluster is a run of its own, from its host offset.
            if (kind == Kind::Compressed) {
                run.hostOffset = host;
                return true;
            }
            if (host >= 0) run.hostOffset = host + static_cast<std::int64_t>(static_cast<std::uint64_t>(pos) & (clusterBytes - 1));
            expectHost = host;
            return true;
        }
        if (kind != run.kind || kind == Kind::Compressed) return false;
        if (kind == Kind::Data) return host == expectHost;
        // A cut cluster's bytes are read alone.
        if (kind == Kind::Damaged) return host < 0 && run.hostOffset < 0;
        return true;
    };

    std::int64_t pos = diskOffset;
    while (pos < end) {
        const auto cluster = static_cast<std::uint64_t>(pos) >> clusterBits_;
        const std::uint64_t l1Index = cluster >> l2Bits_;
        const auto spanEnd = static_cast<std::int64_t>((l1Index + 1) << (l2Bits_ + clusterBits_));
        const std::uint64_t l1Entry = l1Index < l1_.size() ? l1_[l1Index] : 0;
        const std::uint64_t l2Offset = l1Entry & kOffsetMask;
        const auto length = static_cast<std::uint64_t>(fileLength_);
        std::shared_ptr<const Table> table;
        Kind whole = Kind::Unallocated;  // the kind of the whole span when it has no table
        if (l2Offset != 0) {
            whole = Kind::Damaged;
            if (l2Offset % clusterBytes == 0 && l2Offset <= length && length - l2Offset >= clusterBytes) {
                // Reserved bits: libqcow decides what the entry means.
                if ((l1Entry & l1Reserved) != 0)
                    whole = Kind::Library;
                else
                    table = l2Table(l2Offset);
            }
        }
        if (!table) {
            if (!take(whole, -1, 0, pos)) break;
            pos = std::min(end, spanEnd);
            continue;
        }
        bool same = true;
        for (std::uint64_t c = cluster; pos < end && pos < spanEnd; ++c) {
            std::int64_t host = -1;
            std::int64_t packed = 0;
            const Kind kind = kindOf((*table)[c & l2Mask], &host, &packed);
            if (!(same = take(kind, host, packed, pos))) break;
            pos = std::min(end, static_cast<std::int64_t>((c + 1) << clusterBits_));
            expectHost = host + static_cast<std::int64_t>(clusterBytes);
        }
        if (!same) break;
    }
    run.length = pos - diskOffset;
    return run;
}

bool QcowClusterMap::readData(std::int64_t hostOffset, MutableByteSpan out) const {
    std::size_t got = 0;
    return file_.readAt(hostOffset, out, &got) && got == out.size();
}

bool QcowClusterMap::readCompressed(const Run& run, std::int64_t diskOffset, MutableByteSpan out) const {
    const std::int64_t clusterBytes = std::int64_t{1} << clusterBits_;
    const std::int64_t inCluster = diskOffset & (clusterBytes - 1);
    const auto fail = [&out] {
        std::fill(out.begin(), out.end(), std::uint8_t{0});
        return false;
    };
    if (run.hostOffset < 0 || run.packedBytes <= 0 || inCluster + static_cast<std::int64_t>(out.size()) > clusterBytes)
        return fail();
    // A whole cluster is inflated straight into place; part of one goes
    // through the thread's last inflated cluster.
    const bool whole = inCluster == 0 && static_cast<std::int64_t>(out.size()) == clusterBytes;
    if (!whole && tInflated.map == id_ && tInflated.hostOffset == run.hostOffset) {
        std::memcpy(out.data(), tInflated.bytes.data() + inCluster, out.size());
        return true;
    }
    thread_local std::vector<std::uint8_t> packed;
    packed.resize(static_cast<std::size_t>(run.packedBytes));
    if (!readData(run.hostOffset, packed)) return fail();
    // Every compressed cluster inflates to a whole cluster, the disk's last too.
    if (whole) return inflateInto(DeflateWrapper::Raw, packed, out, true);
    tInflated.hostOffset = -1;
    tInflated.bytes.resize(static_cast<std::size_t>(clusterBytes));
    if (!inflateInto(DeflateWrapper::Raw, packed, tInflated.bytes, true)) return fail();
    tInflated.map = id_;
    tInflated.hostOffset = run.hostOffset;
    std::memcpy(out.data(), tInflated.bytes.data() + inCluster, out.size());
    return true;
}

std::int64_t QcowClusterMap::nextStored(std::int64_t diskOffset) const {
    if (diskOffset < 0 || diskOffset >= diskSize_) return diskOffset;
    std::int64_t pos = diskOffset;
    while (pos < diskSize_) {
        const Run run = runAt(pos, diskSize_ - pos);
        if (run.kind != Kind::Zero && run.kind != Kind::Unallocated) return pos;
        if (run.kind == Kind::Unallocated && hasParent_) return pos;
        pos += run.length;
    }
    return diskSize_;
}

}  // namespace tavrel
