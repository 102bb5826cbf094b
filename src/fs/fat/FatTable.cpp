#include "fs/fat/FatTable.h"

#include <algorithm>

namespace tavrel::fs::fat {

std::optional<std::uint32_t> fatEntryValue(ByteSpan fat, std::uint32_t index, FatWidth width) {
    switch (width) {
        case FatWidth::Bits12: {
            // Two entries share three bytes; even entries take the low 12 bits.
            const std::size_t at = static_cast<std::size_t>(index) + index / 2;
            const auto v = le16At(fat, at);
            if (!v) return std::nullopt;
            return (index & 1) ? static_cast<std::uint32_t>(*v >> 4) : static_cast<std::uint32_t>(*v & 0x0FFF);
        }
        case FatWidth::Bits16: {
            const auto v = le16At(fat, static_cast<std::size_t>(index) * 2);
            if (!v) return std::nullopt;
            return *v;
        }
        case FatWidth::Bits28: {
            // The top four bits of a FAT32 entry are reserved and not part of the value.
            const auto v = le32At(fat, static_cast<std::size_t>(index) * 4);
            if (!v) return std::nullopt;
            return *v & 0x0FFFFFFFu;
        }
        case FatWidth::ExFat32: {
            const auto v = le32At(fat, static_cast<std::size_t>(index) * 4);
            if (!v) return std::nullopt;
            return *v;
        }
    }
    return std::nullopt;
}

// The bad-cluster mark of each width; the values above it end a chain.
static std::uint32_t badMark(FatWidth width) {
    switch (width) {
        case FatWidth::Bits12: return 0xFF7;
        case FatWidth::Bits16: return 0xFFF7;
        case FatWidth::Bits28: return 0x0FFFFFF7;
        case FatWidth::ExFat32: return 0xFFFFFFF7;
    }
    return 0xFFFFFFF7;
}

std::optional<std::uint32_t> nextFromValue(std::uint32_t value, FatWidth width, std::uint32_t clusterCount) {
    const FatStep s = fatStep(value, width, clusterCount);
    if (s.kind != FatStep::Next) return std::nullopt;
    return s.next;
}

FatStep fatStep(std::optional<std::uint32_t> value, FatWidth width, std::uint32_t clusterCount) {
    if (!value) return {FatStep::OutOfRange, 0};
    const std::uint32_t v = *value;
    if (v == 0) return {FatStep::Free, 0};
    if (v == 1 || v == badMark(width)) return {FatStep::Bad, 0};
    if (v > badMark(width)) return {FatStep::End, 0};
    if (static_cast<std::uint64_t>(v) >= static_cast<std::uint64_t>(clusterCount) + 2) return {FatStep::OutOfRange, 0};
    return {FatStep::Next, v};
}

FatTable::FatTable(const VolumeView& volume, std::int64_t fatOffset, std::int64_t fatBytes, FatWidth width,
                   std::uint32_t clusterCount, Warnings* warnings)
    : volume_(&volume), fatOffset_(fatOffset), fatBytes_(std::max<std::int64_t>(fatBytes, 0)), width_(width),
      clusterCount_(clusterCount), warnings_(warnings) {}

FatTable& FatTable::operator=(FatTable&& other) noexcept {
    if (this == &other) return *this;
    std::scoped_lock lock(mutex_, other.mutex_);
    volume_ = other.volume_;
    fatOffset_ = other.fatOffset_;
    fatBytes_ = other.fatBytes_;
    width_ = other.width_;
    clusterCount_ = other.clusterCount_;
    warnings_ = other.warnings_;
    blocks_ = std::move(other.blocks_);
    return *this;
}

std::optional<std::uint8_t> FatTable::byteAt(std::int64_t offset) const {
    if (!volume_ || offset < 0 || offset >= fatBytes_) return std::nullopt;
    const std::int64_t block = offset / kBlock;
    auto it = blocks_.find(block);
    if (it == blocks_.end()) {
        std::vector<std::uint8_t> bytes;
        // A FAT block that cannot be read is taken as zeros: its chains end there.
        if (!readBlock(block, bytes)) {
            std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
            if (warnings_) warnings_->unreadable(fatOffset_ + block * kBlock);
        }
        // Chains may point anywhere in a FAT the volume claims but the image does
        // not store: the cache is bounded, whatever the FAT's claimed size.
        if (blocks_.size() >= kMaxCachedBlocks) blocks_.clear();
        it = blocks_.emplace(block, std::move(bytes)).first;
    }
    const std::int64_t inBlock = offset - block * kBlock;
    return it->second[static_cast<std::size_t>(inBlock)];
}

bool FatTable::readBlock(std::int64_t block, std::vector<std::uint8_t>& bytes) const {
    const std::int64_t start = block * kBlock;
    bytes.assign(static_cast<std::size_t>(std::clamp<std::int64_t>(fatBytes_ - start, 0, kBlock)), 0);
    return volume_->readAt(fatOffset_ + start, bytes);
}

bool FatTable::probe() const {
    if (!volume_ || fatBytes_ <= 0) return false;
    std::lock_guard lock(mutex_);
    if (blocks_.count(0)) return true;
    std::vector<std::uint8_t> bytes;
    if (!readBlock(0, bytes)) return false;
    blocks_.emplace(0, std::move(bytes));
    return true;
}

std::int64_t FatTable::entryOffset(std::uint32_t c) const {
    switch (width_) {
        case FatWidth::Bits12: return fatOffset_ + static_cast<std::int64_t>(c) + c / 2;
        case FatWidth::Bits16: return fatOffset_ + static_cast<std::int64_t>(c) * 2;
        case FatWidth::Bits28:
        case FatWidth::ExFat32: break;
    }
    return fatOffset_ + static_cast<std::int64_t>(c) * 4;
}

std::optional<std::uint32_t> FatTable::value(std::uint32_t c) const {
    std::lock_guard lock(mutex_);
    std::int64_t at = 0;
    std::size_t width = 0;
    switch (width_) {
        case FatWidth::Bits12: at = static_cast<std::int64_t>(c) + c / 2; width = 2; break;
        case FatWidth::Bits16: at = static_cast<std::int64_t>(c) * 2; width = 2; break;
        case FatWidth::Bits28:
        case FatWidth::ExFat32: at = static_cast<std::int64_t>(c) * 4; width = 4; break;
    }
    std::uint8_t raw[4] = {};
    for (std::size_t i = 0; i < width; ++i) {
        const auto b = byteAt(at + static_cast<std::int64_t>(i));
        if (!b) return std::nullopt;
        raw[i] = *b;
    }
    // Decode the gathered bytes as an entry at the start of a tiny FAT image.
    const std::uint32_t localIndex = width_ == FatWidth::Bits12 ? (c & 1) : 0;
    std::uint8_t local[6] = {};
    const std::size_t localAt = width_ == FatWidth::Bits12 && (c & 1) ? 1 : 0;
    std::copy(raw, raw + width, local + localAt);
    return fatEntryValue(ByteSpan(local, sizeof local), localIndex, width_);
}

std::optional<std::uint32_t> FatTable::next(std::uint32_t c) const {
    const FatStep s = step(c);
    if (s.kind != FatStep::Next) return std::nullopt;
    return s.next;
}

FatStep FatTable::step(std::uint32_t c) const {
    if (static_cast<std::uint64_t>(c) >= static_cast<std::uint64_t>(clusterCount_) + 2 || c < 2)
        return {FatStep::OutOfRange, 0};
    return fatStep(value(c), width_, clusterCount_);
}

}  // namespace tavrel::fs::fat
