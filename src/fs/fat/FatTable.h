// FAT chain lookup for FAT12, FAT16, FAT32 and exFAT. The decoding of one entry is
// a pure function over the FAT's bytes; FatTable reads the FAT from the volume in
// blocks on first use and keeps them, so a chain step is an array read.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "image/VolumeView.h"
#include "util/Bytes.h"

namespace tavrel::fs::fat {

enum class FatWidth { Bits12, Bits16, Bits28, ExFat32 };

// Raw value of FAT entry `index` in `fat` (FAT32 values masked to 28 bits), or
// nullopt when the entry lies outside the bytes given.
std::optional<std::uint32_t> fatEntryValue(ByteSpan fat, std::uint32_t index, FatWidth width);

// The next cluster a FAT value names, or nullopt when the value ends the chain:
// free (0), reserved (1), bad, end-of-chain marks, or a cluster outside
// 2 .. clusterCount + 1.
std::optional<std::uint32_t> nextFromValue(std::uint32_t value, FatWidth width, std::uint32_t clusterCount);

class FatTable {
public:
    FatTable() = default;
    FatTable(const VolumeView& volume, std::int64_t fatOffset, std::int64_t fatBytes, FatWidth width,
             std::uint32_t clusterCount);
    // Replaces the table (the lock is not moved; the cache moves with its table).
    FatTable& operator=(FatTable&& other) noexcept;
    FatTable(const FatTable&) = delete;

    // Value of the entry for cluster c; nullopt when c lies outside the FAT.
    std::optional<std::uint32_t> value(std::uint32_t c) const;
    // Next cluster of the chain after c; nullopt at the chain's end.
    std::optional<std::uint32_t> next(std::uint32_t c) const;

    std::uint32_t clusterCount() const { return clusterCount_; }

private:
    std::optional<std::uint8_t> byteAt(std::int64_t offset) const;

    static constexpr std::int64_t kBlock = 64 * 1024;
    const VolumeView* volume_ = nullptr;
    std::int64_t fatOffset_ = 0;
    std::int64_t fatBytes_ = 0;
    FatWidth width_ = FatWidth::Bits16;
    std::uint32_t clusterCount_ = 0;
    mutable std::mutex mutex_;
    mutable std::unordered_map<std::int64_t, std::vector<std::uint8_t>> blocks_;
};

}  // namespace tavrel::fs::fat
