// The allocation map of an NTFS volume, from $Bitmap (record 6): one bit per
// cluster, lowest bit first. Where a file's clusters lie: its $DATA runs, or
// its record for resident content.
#include <algorithm>

#include "fs/ExtentCopy.h"
#include "fs/ntfs/ntfs.h"

namespace tavrel::fs {

namespace {
constexpr std::uint64_t kBitmapRecord = 6;

// Keeps what is written, up to a bound fixed beforehand.
class BoundedBytes : public ByteSink {
public:
    explicit BoundedBytes(std::size_t limit) : limit_(limit) {}
    bool write(ByteSpan bytes) override {
        if (bytes.size() > limit_ - data.size()) return false;
        data.insert(data.end(), bytes.begin(), bytes.end());
        return true;
    }
    std::vector<std::uint8_t> data;

private:
    std::size_t limit_;
};
}  // namespace

std::unique_ptr<AllocationMap> ntfs::readAllocationMap() const {
    if (clusterSize_ <= 0 || volumeSize_ <= 0) return nullptr;
    const auto clusters = static_cast<std::uint64_t>(volumeSize_ / clusterSize_);
    const NtfsEntry* bitmap = nullptr;
    if (const auto i = indexOfRecord(kBitmapRecord)) bitmap = &entries_[*i];
    if (!bitmap || bitmap->name != "$Bitmap") {
        // Deep mode keeps records in the order found: the live $Bitmap in the root folder.
        bitmap = nullptr;
        for (const NtfsEntry& e : entries_) {
            if (e.hasName && e.name == "$Bitmap" && e.parentRecord == 5 && (e.recordFlags & 1)) {
                bitmap = &e;
                break;
            }
        }
    }
    if (!bitmap || bitmap->name != "$Bitmap") return nullptr;
    const DataStream d = gatherData(*bitmap);
    if (!d.ok || !d.info.present) return nullptr;
    const std::uint64_t needed = (clusters + 7) / 8;
    std::vector<std::uint8_t> bits;
    if (d.info.residency == 'R') {
        bits = d.resident;
    } else {
        // A bitmap may be longer than the volume needs (it grows in 8-byte steps), never shorter.
        const std::uint64_t size = std::min<std::uint64_t>(d.info.realSize, needed);
        if (size < needed) return nullptr;
        std::uint64_t pos = 0;
        ExtentList extents;
        const auto cs = static_cast<std::uint64_t>(clusterSize_);
        for (const MftRun& r : d.runs) {
            if (pos >= size) break;
            if (r.sparse || r.lcn < 0 || r.length > clusters) return nullptr;
            const std::uint64_t bytes = std::min(r.length * cs, size - pos);
            extents.add(r.lcn * clusterSize_, static_cast<std::int64_t>(bytes));
            pos += bytes;
        }
        BoundedBytes sink(static_cast<std::size_t>(size));
        WorkControl work;
        const CopyResult copied =
            copyExtents(volume_, extents.extents(), static_cast<std::int64_t>(size), sink, work, nullptr);
        if (copied != CopyResult::Complete || sink.data.size() != size) return nullptr;
        bits = std::move(sink.data);
    }
    if (bits.size() < needed) return nullptr;
    auto map = std::make_unique<AllocationMap>(0, clusters, clusterSize_, 0);
    map->markBits(0, bits);
    return map;
}

ContentPlace ntfs::contentPlace(EntryRef ref) const {
    ContentPlace place;
    if (!validRef(ref)) return place;
    const NtfsEntry& e = entries_[ref];
    if (!e.hasName || e.kind == 'D') return place;
    // Resident content lives in the record itself, which the listing just read.
    if (e.dataResidency == 'R' && !e.hasAttributeList) {
        place.kind = ContentPlace::Kind::Resident;
        return place;
    }
    if (e.dataResidency == 'N' && e.dataLcn >= 0 && !e.hasAttributeList) {
        place.kind = ContentPlace::Kind::Units;
        place.runs.push_back({static_cast<std::uint64_t>(e.dataLcn), e.dataClusters});
        return place;
    }
    const DataStream d = gatherData(e);
    if (!d.ok) return place;
    if (d.info.present && d.info.residency == 'R') {
        place.kind = ContentPlace::Kind::Resident;
        return place;
    }
    place.kind = ContentPlace::Kind::Units;
    if (!d.info.present) return place;
    for (const MftRun& r : d.runs) {
        if (r.sparse || r.length == 0) continue;
        if (r.lcn < 0) {
            place.kind = ContentPlace::Kind::Unknown;  // a run no volume has
            place.runs.clear();
            return place;
        }
        place.runs.push_back({static_cast<std::uint64_t>(r.lcn), r.length});
    }
    return place;
}

}  // namespace tavrel::fs
