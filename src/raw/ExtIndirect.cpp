#include "raw/ExtIndirect.h"

#include <algorithm>
#include <limits>

#include "fs/ext/ExtSuperblock.h"

namespace tavrel::raw {

namespace {

constexpr std::int64_t kDirectBlocks = 12;

// a + b for a, b >= 0, held at the largest offset instead of overflowing.
std::int64_t past(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    return __builtin_add_overflow(a, b, &sum) ? std::numeric_limits<std::int64_t>::max() : sum;
}

std::optional<fs::ext::ExtSuperblock> superblockOf(const VolumeView& volume) {
    std::vector<std::uint8_t> bytes(fs::ext::kSuperblockBytes);
    if (volume.size() < fs::ext::kPrimarySuperblockOffset + static_cast<std::int64_t>(bytes.size()) ||
        !volume.readAt(fs::ext::kPrimarySuperblockOffset, bytes))
        return std::nullopt;
    return fs::ext::decodeSuperblock(bytes);
}

}  // namespace

bool hasExtSuperblock(const VolumeView& volume) { return superblockOf(volume).has_value(); }

std::optional<ExtGeometry> indirectGeometryOf(const VolumeView& volume) {
    const auto sb = superblockOf(volume);
    if (!sb || (sb->featureIncompat & fs::ext::kIncompatExtents) || sb->blocksCount == 0) return std::nullopt;
    return ExtGeometry{sb->blockSize(), sb->blocksCount};
}

bool looksLikeIndirectBlock(ByteSpan block, std::uint64_t blockCount) {
    std::uint32_t previous = 0;
    std::size_t numbers = 0;
    for (std::size_t o = 0; o + 4 <= block.size(); o += 4) {
        const std::uint32_t n = le32(block, o);
        if (n == 0) {
            // Zeros only from the first one on.
            for (std::size_t z = o; z < block.size(); ++z)
                if (block[z] != 0) return false;
            break;
        }
        if (n <= previous || n >= blockCount) return false;
        previous = n;
        ++numbers;
    }
    return numbers > 0;
}

IndirectSkipper::IndirectSkipper(const VolumeView& volume, ExtGeometry geometry, std::int64_t start)
    : volume_(volume),
      geometry_(geometry),
      start_(start),
      perBlock_(geometry.blockSize / 4),
      boundary_(kDirectBlocks * geometry.blockSize),
      block_(static_cast<std::size_t>(geometry.blockSize)) {}

// The indirect blocks that may stand at place k: one before the first
// single-indirect range, double + single where the double range begins, triple
// + double + single where the triple range begins, double + single at each
// further double range inside it, else one.
void IndirectSkipper::examineNext() {
    const std::int64_t k = place_++;
    const std::int64_t n = perBlock_;
    int expected = 1;
    if (k == 1) expected = 2;
    else if (k == n + 1) expected = 3;
    else if (k > n + 1 && (k - n - 1) % n == 0) expected = 2;
    std::int64_t shift = places_.empty() ? 0 : places_.back().shiftAfter;
    if (past(past(start_, boundary_), shift) >= volume_.size()) {
        // Past the volume's end: no place further on holds anything.
        places_.push_back({boundary_, shift});
        boundary_ = std::numeric_limits<std::int64_t>::max();
        return;
    }
    for (int i = 0; i < expected; ++i) {
        const std::int64_t at = past(past(start_, boundary_), shift);
        if (at >= volume_.size() || !volume_.readAt(at, block_)) break;
        if (!looksLikeIndirectBlock(block_, geometry_.blockCount)) break;
        skipped_.push_back(at);
        shift += geometry_.blockSize;
    }
    places_.push_back({boundary_, shift});
    boundary_ = past(boundary_, n * geometry_.blockSize);
}

std::int64_t IndirectSkipper::volumeOffset(std::int64_t at) {
    while (at >= boundary_ && boundary_ < std::numeric_limits<std::int64_t>::max()) examineNext();
    const auto after = std::upper_bound(places_.begin(), places_.end(), at,
                                        [](std::int64_t v, const Place& p) { return v < p.at; });
    const std::int64_t shift = after == places_.begin() ? 0 : std::prev(after)->shiftAfter;
    return past(past(start_, at), shift);
}

std::int64_t IndirectSkipper::runEnd(std::int64_t at) {
    const std::int64_t first = kDirectBlocks * geometry_.blockSize;
    if (at < first) return first;
    const std::int64_t step = perBlock_ * geometry_.blockSize;
    return past(first, ((at - first) / step + 1) * step);
}

}  // namespace tavrel::raw
