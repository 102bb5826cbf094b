#include "volume/MappedVolume.h"

#include <algorithm>
#include <limits>

#include "image/VolumeView.h"
#include "volume/VolumeRecord.h"

namespace tavrel {

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

// A run holds together: positive length inside the volume, a stripe size when
// striped, and every stripe's last byte on a representable disk offset.
bool sound(const MappedRun& r, std::int64_t size) {
    if (r.volumeOffset < 0 || r.length <= 0 || r.skip < 0 || r.stripes.empty()) return false;
    if (r.volumeOffset > size || r.length > size - r.volumeOffset || r.skip > kMax - r.length) return false;
    const auto count = static_cast<std::int64_t>(r.stripes.size());
    if (count > 1 && (r.stripeBytes <= 0 || r.stripeBytes > kMax / 2)) return false;
    // Bytes any one stripe holds up to the run's end.
    const std::int64_t end = r.skip + r.length;
    const std::int64_t perStripe = count == 1 ? end : (end / r.stripeBytes / count + 1) * r.stripeBytes;
    return std::all_of(r.stripes.begin(), r.stripes.end(),
                       [&](std::int64_t s) { return s >= 0 && s <= kMax - perStripe; });
}

}  // namespace

MappedVolumeReader::MappedVolumeReader(const readWriteInterface& disk, std::vector<MappedRun> runs, std::int64_t size)
    : disk_(disk), size_(std::max<std::int64_t>(size, 0)) {
    std::int64_t end = 0;
    for (MappedRun& r : runs) {
        if (!sound(r, size_) || r.volumeOffset < end) continue;
        end = r.volumeOffset + r.length;
        runs_.push_back(std::move(r));
    }
}

std::int64_t MappedVolumeReader::diskOffsetOf(std::int64_t offset, std::int64_t& contiguous) const {
    contiguous = 0;
    if (offset < 0 || offset >= size_) return -1;
    // The last run starting at or before the offset.
    auto it = std::upper_bound(runs_.begin(), runs_.end(), offset,
                               [](std::int64_t o, const MappedRun& r) { return o < r.volumeOffset; });
    if (it == runs_.begin()) {
        contiguous = runs_.empty() ? size_ - offset : runs_.front().volumeOffset - offset;
        return -1;
    }
    const MappedRun& r = *std::prev(it);
    const std::int64_t within = offset - r.volumeOffset;
    if (within >= r.length) {
        contiguous = (it == runs_.end() ? size_ : it->volumeOffset) - offset;
        return -1;
    }
    const std::int64_t y = r.skip + within;
    const std::int64_t leftInRun = r.length - within;
    if (r.stripes.size() == 1) {
        contiguous = leftInRun;
        return r.stripes[0] + y;
    }
    const auto count = static_cast<std::int64_t>(r.stripes.size());
    const std::int64_t chunk = y / r.stripeBytes;
    const std::int64_t inChunk = y % r.stripeBytes;
    contiguous = std::min(leftInRun, r.stripeBytes - inChunk);
    return r.stripes[static_cast<std::size_t>(chunk % count)] + (chunk / count) * r.stripeBytes + inChunk;
}

bool MappedVolumeReader::readAt(std::int64_t offset, MutableByteSpan out) const {
    bool whole = false;
    const MutableByteSpan part = onDisk(size_, offset, out, whole);
    bool ok = whole;
    std::size_t done = 0;
    while (done < part.size()) {
        std::int64_t contiguous = 0;
        const std::int64_t at = diskOffsetOf(offset + static_cast<std::int64_t>(done), contiguous);
        const auto n = static_cast<std::size_t>(
            std::min<std::int64_t>(std::max<std::int64_t>(contiguous, 1), static_cast<std::int64_t>(part.size() - done)));
        const MutableByteSpan piece = part.subspan(done, n);
        if (at < 0) {
            std::fill(piece.begin(), piece.end(), std::uint8_t{0});
            ok = false;
        } else if (!disk_.readAt(at, piece)) {
            ok = false;
        }
        done += n;
    }
    return ok;
}

bool MappedVolumeReader::isUnallocated(std::int64_t offset, std::int64_t length) const {
    // Asked piece by piece, up to a bound; past it the answer is "may be stored".
    constexpr int kMaxPieces = 64;
    std::int64_t done = 0;
    for (int n = 0; done < length; ++n) {
        if (n == kMaxPieces) return false;
        std::int64_t contiguous = 0;
        const std::int64_t at = diskOffsetOf(offset + done, contiguous);
        if (at < 0 || contiguous <= 0) return false;
        const std::int64_t piece = std::min(contiguous, length - done);
        if (!disk_.isUnallocated(at, piece)) return false;
        done += piece;
    }
    return true;
}

VolumeView volumeViewOf(const readWriteInterface& disk, const VolumeRecord& record) {
    if (record.runs.empty()) return VolumeView(disk, record.startSector, record.sectorCount);
    const std::int64_t bytes =
        record.sectorCount > 0 && record.sectorCount <= kMax / kSectorSize ? record.sectorCount * kSectorSize : 0;
    return VolumeView(std::make_shared<MappedVolumeReader>(disk, record.runs, bytes));
}

}  // namespace tavrel
