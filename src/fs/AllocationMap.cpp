#include "fs/AllocationMap.h"

#include <algorithm>
#include <bit>

namespace tavrel::fs {

AllocationMap::AllocationMap(std::uint64_t first, std::uint64_t count, std::int64_t unitSize,
                             std::int64_t firstOffset)
    : first_(first), count_(count), unitSize_(std::max<std::int64_t>(unitSize, 1)), firstOffset_(firstOffset),
      words_(static_cast<std::size_t>(count / 64 + 1), 0) {}

void AllocationMap::markBits(std::uint64_t unit, ByteSpan bits, bool highBitFirst) {
    if (unit < first_) return;
    std::uint64_t u = unit - first_;
    for (std::size_t i = 0; i < bits.size() && u < count_; ++i) {
        const std::uint8_t b = bits[i];
        if (b == 0) {
            u += 8;
            continue;
        }
        for (int k = 0; k < 8 && u < count_; ++k, ++u) {
            const bool set = highBitFirst ? (b >> (7 - k)) & 1 : (b >> k) & 1;
            if (set) words_[u / 64] |= std::uint64_t{1} << (u % 64);
        }
    }
}

void AllocationMap::mark(std::uint64_t first, std::uint64_t count) {
    if (first < first_) {
        if (count <= first_ - first) return;
        count -= first_ - first;
        first = first_;
    }
    std::uint64_t u = first - first_;
    if (u >= count_) return;
    const std::uint64_t end = u + std::min(count, count_ - u);
    for (; u < end; ++u) words_[u / 64] |= std::uint64_t{1} << (u % 64);
}

bool AllocationMap::allocated(std::uint64_t unit) const {
    if (!inside(unit)) return true;
    const std::uint64_t u = unit - first_;
    return (words_[u / 64] >> (u % 64)) & 1;
}

std::uint64_t AllocationMap::countAllocated(std::uint64_t first, std::uint64_t count) const {
    std::uint64_t outside = 0;
    if (first < first_) {
        const std::uint64_t before = std::min(count, first_ - first);
        outside += before;
        count -= before;
        first = first_;
    }
    std::uint64_t u = first - first_;
    if (u >= count_) return outside + count;
    const std::uint64_t inMap = std::min(count, count_ - u);
    outside += count - inMap;
    const std::uint64_t end = u + inMap;
    std::uint64_t set = 0;
    while (u < end) {
        const std::uint64_t bit = u % 64;
        const std::uint64_t take = std::min<std::uint64_t>(64 - bit, end - u);
        std::uint64_t word = words_[u / 64] >> bit;
        if (take < 64) word &= (std::uint64_t{1} << take) - 1;
        set += static_cast<std::uint64_t>(std::popcount(word));
        u += take;
    }
    return outside + set;
}

std::optional<std::uint64_t> AllocationMap::nextFree(std::uint64_t unit) const {
    std::uint64_t u = unit < first_ ? 0 : unit - first_;
    while (u < count_) {
        const std::uint64_t bit = u % 64;
        const std::uint64_t freeBits = ~words_[u / 64] >> bit;
        if (freeBits != 0) {
            const std::uint64_t at = u + static_cast<std::uint64_t>(std::countr_zero(freeBits));
            return at < count_ ? std::optional<std::uint64_t>(first_ + at) : std::nullopt;
        }
        u += 64 - bit;
    }
    return std::nullopt;
}

std::uint64_t AllocationMap::nextAllocated(std::uint64_t unit) const {
    if (unit < first_) return unit;
    std::uint64_t u = unit - first_;
    while (u < count_) {
        const std::uint64_t bit = u % 64;
        const std::uint64_t setBits = words_[u / 64] >> bit;
        if (setBits != 0) return first_ + std::min(count_, u + static_cast<std::uint64_t>(std::countr_zero(setBits)));
        u += 64 - bit;
    }
    return first_ + count_;
}

std::int64_t AllocationMap::freeFrom(std::int64_t offset) const {
    const std::uint64_t unit = offset < firstOffset_ ? first_ : unitAt(offset);
    const auto free = nextFree(unit);
    if (!free) return -1;
    return *free == unit && offset >= firstOffset_ ? offset : offsetOf(*free);
}

std::int64_t AllocationMap::freeUntil(std::int64_t offset) const {
    if (allocatedAt(offset)) return offset;
    return offsetOf(nextAllocated(unitAt(offset)));
}

std::int64_t AllocationMap::offsetOf(std::uint64_t unit) const {
    return firstOffset_ + static_cast<std::int64_t>(unit - first_) * unitSize_;
}

bool AllocationMap::allocatedAt(std::int64_t offset) const {
    if (offset < firstOffset_) return true;
    return allocated(first_ + static_cast<std::uint64_t>((offset - firstOffset_) / unitSize_));
}

}  // namespace tavrel::fs
