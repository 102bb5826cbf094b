// Writing a file's content: resident data, plain and sparse runs (through the
// shared extent copy), and LZNT1-compressed units. Content is streamed: the
// plain path holds 1 MiB, the compressed path one compression unit, whatever
// the file's size. Unreadable ranges become zeros and are counted in warnings().
#include <algorithm>
#include <cstdio>

#include "fs/ExtentCopy.h"
#include "fs/ntfs/Lznt1.h"
#include "fs/ntfs/ntfs.h"

namespace tavrel::fs {

namespace {
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
    if (!e.hasName) return false;
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

// Plain and sparse runs become extents of the volume; what lies past the
// initialized size reads as zeros. A cluster number no volume has is kept as an
// extent past the volume's end, so the copy counts it as unreadable.
bool ntfs::writePlain(const DataStream& d, ByteSink& out, WorkControl& work) {
    const std::uint64_t realSize = std::min<std::uint64_t>(d.info.realSize, INT64_MAX);
    const std::uint64_t initialized = std::min(d.info.initializedSize, realSize);
    const auto cs = static_cast<std::uint64_t>(clusterSize_);
    ExtentList extents;
    std::uint64_t pos = 0;
    for (const MftRun& r : d.runs) {
        if (pos >= realSize) break;
        const std::uint64_t bytes = r.length > (realSize - pos) / cs + 1 ? realSize - pos : r.length * cs;
        std::int64_t offset = 0;
        if (r.sparse) {
            extents.addHole(static_cast<std::int64_t>(bytes));
        } else {
            if (__builtin_mul_overflow(r.lcn, clusterSize_, &offset) || offset < 0) offset = volume_.size();
            const std::uint64_t live = pos >= initialized ? 0 : std::min(bytes, initialized - pos);
            extents.add(offset, static_cast<std::int64_t>(live));
            extents.addHole(static_cast<std::int64_t>(bytes - live));
        }
        pos += bytes;
    }
    const CopyResult result = copyExtents(volume_, extents.extents(), static_cast<std::int64_t>(realSize), out, work,
                                          &warnings_);
    return result == CopyResult::Complete;
}

bool ntfs::writeCompressed(const DataStream& d, ByteSink& out, WorkControl& work) {
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
    bool complete = true;
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
        if (got == 0) {
            complete = false;  // the runs ended before the real size
            break;
        }
        std::fill(stored.begin(), stored.end(), std::uint8_t{0});
        bool unreadable = false;
        std::int64_t unitOffset = -1;
        for (std::size_t i = 0; i < allocated; ++i) {
            std::int64_t offset = 0;
            if (clusters[i] < 0) continue;
            const MutableByteSpan slot(stored.data() + i * cs, static_cast<std::size_t>(cs));
            const bool bad = __builtin_mul_overflow(clusters[i], clusterSize_, &offset);
            if (unitOffset < 0 && !bad) unitOffset = offset;
            if (bad || !volume_.readAt(offset, slot)) unreadable = true;
        }
        ByteSpan produced;
        if (allocated == 0 || unreadable) {
            // A hole, or a unit that could not be read whole: zeros, so that later
            // units keep their offsets.
            std::fill(unit.begin(), unit.end(), std::uint8_t{0});
            produced = unit;
            if (unreadable) {
                warnings_.unreadable(unitOffset);
                complete = false;
            }
        } else if (allocated == clusters.size()) {
            produced = stored;  // every cluster allocated: stored uncompressed
        } else {
            const Lznt1Result r = decompressUnit(ByteSpan(stored.data(), allocated * cs), unit);
            if (r.error) {
                warnings_.damaged(unitOffset);
                complete = false;
            }
            // A short unit still stands for a whole one: the rest is zeros.
            std::fill(unit.begin() + static_cast<std::ptrdiff_t>(r.produced), unit.end(), std::uint8_t{0});
            produced = unit;
        }
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(unitBytes, realSize - written));
        // A hole unit stays a hole in the host file.
        const bool hole = allocated == 0 && !unreadable;
        if (!(hole ? out.skip(static_cast<std::int64_t>(n)) : out.write(produced.first(n)))) return false;
        written += n;
    }
    return complete;
}

}  // namespace tavrel::fs
