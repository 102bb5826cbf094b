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

std::optional<std::uint32_t> nextFromValue(std::uint32_t value, FatWidth width, std::uint32_t clusterCount) {
    // Values from the bad-cluster mark upwards end a chain.
    std::uint32_t firstMark = 0;
    switch (width) {
        case FatWidth::Bits12: firstMark = 0xFF7; break;
        case FatWidth::Bits16: firstMark = 0xFFF7; break;
        case FatWidth::Bits28: firstMark = 0x0FFFFFF7; break;
        case FatWidth::ExFat32: firstMark = 0xFFFFFFF7; break;
    }
    if (value < 2 || value >= firstMark) return std::nullopt;
    if (static_cast<std::uint64_t>(value) >= static_cast<std::uint64_t>(clusterCount) + 2) return std::nullopt;
    return value;
}

FatTable::FatTable(const VolumeView& volume, std::int64_t fatOffset, std::int64_t fatBytes, FatWidth width,
                   std::uint32_t clusterCount)
    : volume_(&volume), fatOffset_(fatOffset), fatBytes_(std::max<std::int64_t>(fatBytes, 0)), width_(width),
      clusterCount_(clusterCount) {}

FatTable& FatTable::operator=(FatTable&& other) noexcept {
    if (this == &other) return *this;
    std::scoped_lock lock(mutex_, other.mutex_);
    volume_ = other.volume_;
    fatOffset_ = other.fatOffset_;
    fatBytes_ = other.fatBytes_;
    width_ = other.width_;
    clusterCount_ = other.clusterCount_;
    blocks_ = std::move(other.blocks_);
    return *this;
}

std::optional<std::uint8_t> FatTable::byteAt(std::int64_t offset) const {
    if (!volume_ || offset < 0 || offset >= fatBytes_) return std::nullopt;
    const std::int64_t block = offset / kBlock;
    auto it = blocks_.find(block);
    if (it == blocks_.end()) {
        const std::int64_t start = block * kBlock;
        const std::int64_t length = std::min(kBlock, fatBytes_ - start);
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
        // A FAT sector that cannot be read is taken as zeros: its chains end there.
        volume_->readAt(fatOffset_ + start, bytes);
        it = blocks_.emplace(block, std::move(bytes)).first;
    }
    const std::int64_t inBlock = offset - block * kBlock;
    return it->second[static_cast<std::size_t>(inBlock)];
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
    if (static_cast<std::uint64_t>(c) >= static_cast<std::uint64_t>(clusterCount_) + 2 || c < 2) return std::nullopt;
    const auto v = value(c);
    if (!v) return std::nullopt;
    return nextFromValue(*v, width_, clusterCount_);
}

}  // namespace tavrel::fs::fat
