// FAT chain lookup for FAT12, FAT16, FAT32 and exFAT. The decoding of one entry is
// a pure function over the FAT's bytes; FatTable reads the FAT from the volume in
// blocks on first use and keeps up to 64 MiB of them, so a chain step is an
// array read.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "fs/ScanOutcome.h"
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

// What the FAT entry of a cluster says about the chain after it.
struct FatStep {
    enum Kind {
        Next,        // `next` is the chain's next cluster
        End,         // an end-of-chain mark
        Free,        // 0: the cluster is free (a freed chain, or an unreadable FAT sector)
        Bad,         // reserved (1) or the bad-cluster mark
        OutOfRange,  // a cluster number beyond the volume, or an entry beyond the FAT
    };
    Kind kind = End;
    std::uint32_t next = 0;
};
FatStep fatStep(std::optional<std::uint32_t> value, FatWidth width, std::uint32_t clusterCount);

class FatTable {
public:
    FatTable() = default;
    // FAT sectors that cannot be read are counted in `warnings` (when given) and
    // taken as zeros.
    FatTable(const VolumeView& volume, std::int64_t fatOffset, std::int64_t fatBytes, FatWidth width,
             std::uint32_t clusterCount, Warnings* warnings = nullptr);
    // Replaces the table (the lock is not moved; the cache moves with its table).
    FatTable& operator=(FatTable&& other) noexcept;
    FatTable(const FatTable&) = delete;

    // Value of the entry for cluster c; nullopt when c lies outside the FAT.
    std::optional<std::uint32_t> value(std::uint32_t c) const;
    // Next cluster of the chain after c; nullopt at the chain's end.
    std::optional<std::uint32_t> next(std::uint32_t c) const;
    FatStep step(std::uint32_t c) const;
    // Volume byte offset of the entry for cluster c.
    std::int64_t entryOffset(std::uint32_t c) const;
    // Reads the FAT's first block: false when it lies outside the volume or
    // cannot be read.
    bool probe() const;

    std::uint32_t clusterCount() const { return clusterCount_; }

private:
    std::optional<std::uint8_t> byteAt(std::int64_t offset) const;
    bool readBlock(std::int64_t block, std::vector<std::uint8_t>& bytes) const;

    static constexpr std::int64_t kBlock = 64 * 1024;
    static constexpr std::size_t kMaxCachedBlocks = 1024;  // 64 MiB of FAT
    const VolumeView* volume_ = nullptr;
    std::int64_t fatOffset_ = 0;
    std::int64_t fatBytes_ = 0;
    FatWidth width_ = FatWidth::Bits16;
    std::uint32_t clusterCount_ = 0;
    Warnings* warnings_ = nullptr;
    mutable std::mutex mutex_;
    mutable std::unordered_map<std::int64_t, std::vector<std::uint8_t>> blocks_;
};

}  // namespace tavrel::fs::fat
