// Writing a file's content: resident data, plain and sparse runs, and
// LZNT1-compressed units. Content is streamed: the plain path holds 1 MiB, the
// compressed path one compression unit, whatever the file's size.
#include <algorithm>
#include <cstdio>

#include "fs/ntfs/Lznt1.h"
#include "fs/ntfs/ntfs.h"

namespace tavrel::fs {

namespace {
constexpr std::uint64_t kPiece = 1 << 20;
// Compression units are 16 clusters in practice; a larger one is refused.
constexpr std::uint64_t kMaxUnitBytes = 16u << 20;

// Walks a run list cluster by cluster. Cluster -1 is a hole.
class ClusterCursor {
public:
    explicit ClusterCursor(const std::vector<MftRun>& runs) : runs_(runs) {}
    bool next(std::int64_t& cluster) {
        while (run_ < runs_.size() && used_ >= runs_[run_].length) {
            ++run_;
            used_ = 0;
        }
        if (run_ >= runs_.size()) return false;
        const MftRun& r = runs_[run_];
        cluster = r.sparse ? -1 : r.lcn + static_cast<std::int64_t>(used_);
        ++used_;
        return true;
    }

private:
    const std::vector<MftRun>& runs_;
    std::size_t run_ = 0;
    std::uint64_t used_ = 0;
};
}  // namespace

bool ntfs::saveFile(EntryRef ref, ByteSink& out, WorkControl& work) {
    message_.clear();
    if (!validRef(ref)) return false;
    const NtfsEntry& e = entries_[ref];
    if (!e.hasName || static_cast<std::int64_t>(ref) == orphanIndex_) return false;
    if (e.kind == 'D') {
        char text[600];
        std::snprintf(text, sizeof text, "This is  %s directory .Please specify file names ", e.name.c_str());
        message_ = text;
        return false;
    }
    const DataStream d = gatherData(e);
    if (!d.ok) {
        message_ = "Not a valid entry...";
        return false;
    }
    if (!d.info.present) return true;  // no $DATA: an empty file
    if (d.info.residency == 'R') return d.resident.empty() || out.write(d.resident);
    const bool compressed = d.info.kindText && std::string(d.info.kindText) == "Compressed" &&
                            d.info.compressionExponent > 0 && d.info.compressionExponent < 32;
    return compressed ? writeCompressed(d, out, work) : writePlain(d, out, work);
}

bool ntfs::writePlain(const DataStream& d, ByteSink& out, WorkControl& work) const {
    const std::uint64_t realSize = d.info.realSize;
    const std::uint64_t initialized = std::min(d.info.initializedSize, realSize);
    const auto cs = static_cast<std::uint64_t>(clusterSize_);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, std::max<std::uint64_t>(realSize, 1))));
    std::uint64_t written = 0;
    bool allRead = true;
    for (const MftRun& r : d.runs) {
        if (written >= realSize) break;
        const std::uint64_t runBytes = r.length > (realSize - written) / cs + 1 ? realSize - written : r.length * cs;
        std::uint64_t done = 0;
        while (done < runBytes && written < realSize) {
            if (!work.checkpoint()) return false;
            const std::uint64_t n = std::min<std::uint64_t>({buffer.size(), runBytes - done, realSize - written});
            const MutableByteSpan piece(buffer.data(), static_cast<std::size_t>(n));
            std::int64_t offset = 0;
            const bool hole = r.sparse || written >= initialized;
            if (hole) {
                std::fill(piece.begin(), piece.end(), std::uint8_t{0});
            } else if (__builtin_mul_overflow(r.lcn, clusterSize_, &offset) ||
                       __builtin_add_overflow(offset, static_cast<std::int64_t>(done), &offset)) {
                std::fill(piece.begin(), piece.end(), std::uint8_t{0});
                allRead = false;
            } else {
                // An unreadable stretch reads as zeros so later data keeps its offset.
                if (!volume_.readAt(offset, piece)) allRead = false;
                if (written + n > initialized)
                    std::fill(piece.begin() + static_cast<std::ptrdiff_t>(initialized - written), piece.end(), std::uint8_t{0});
            }
            if (!out.write(piece)) return false;
            written += n;
            done += n;
        }
    }
    return allRead;
}

bool ntfs::writeCompressed(const DataStream& d, ByteSink& out, WorkControl& work) const {
    const std::uint64_t realSize = d.info.realSize;
    const auto cs = static_cast<std::uint64_t>(clusterSize_);
    const std::uint64_t unitClusters = std::uint64_t{1} << d.info.compressionExponent;
    if (unitClusters > kMaxUnitBytes / cs) return writePlain(d, out, work);
    const std::size_t unitBytes = static_cast<std::size_t>(unitClusters * cs);
    std::vector<std::uint8_t> stored(unitBytes);
    std::vector<std::uint8_t> unit(unitBytes);
    std::vector<std::int64_t> clusters(static_cast<std::size_t>(unitClusters));
    ClusterCursor cursor(d.runs);
    std::uint64_t written = 0;
    bool allRead = true;
    while (written < realSize) {
        if (!work.checkpoint()) return false;
        // The unit's clusters; past the end of the runs they count as holes.
        std::size_t got = 0;
        std::size_t allocated = 0;  // 1 + position of the last allocated cluster
        for (auto& c : clusters) {
            if (!cursor.next(c)) c = -2;
            else ++got;
            if (c >= 0) allocated = static_cast<std::size_t>(&c - clusters.data()) + 1;
        }
        if (got == 0) break;  // the runs ended before the real size
        std::fill(stored.begin(), stored.end(), std::uint8_t{0});
        for (std::size_t i = 0; i < allocated; ++i) {
            std::int64_t offset = 0;
            if (clusters[i] < 0) continue;
            const MutableByteSpan slot(stored.data() + i * cs, static_cast<std::size_t>(cs));
            if (__builtin_mul_overflow(clusters[i], clusterSize_, &offset) || !volume_.readAt(offset, slot)) allRead = false;
        }
        ByteSpan produced;
        if (allocated == 0) {
            std::fill(unit.begin(), unit.end(), std::uint8_t{0});
            produced = unit;
        } else if (allocated == clusters.size()) {
            produced = stored;  // every cluster allocated: stored uncompressed
        } else {
            const Lznt1Result r = decompressUnit(ByteSpan(stored.data(), allocated * cs), unit);
            if (r.error) allRead = false;
            // A short unit still stands for a whole one: the rest is zeros.
            std::fill(unit.begin() + static_cast<std::ptrdiff_t>(r.produced), unit.end(), std::uint8_t{0});
            produced = unit;
        }
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(unitBytes, realSize - written));
        if (!out.write(produced.first(n))) return false;
        written += n;
    }
    return allRead;
}

}  // namespace tavrel::fs
