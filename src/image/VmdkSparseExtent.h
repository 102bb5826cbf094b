// One hosted sparse extent of a VMDK image (a file starting with "KDMV"): the
// grain directory is read at open, grain tables on demand into a small bounded
// cache, and compressed grains (stream-optimized images) are inflated.
// Reads are thread-safe: the caches sit behind a mutex.
#pragma once

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "image/FilePool.h"
#include "image/VmdkFormat.h"

namespace tavrel {

class VmdkSparseExtent {
public:
    // Takes the extent file. Null, with the reason in *problem (its offset in
    // the extent file), when its header, footer or grain directory does not hold
    // together, cannot be read, or the directory takes more than tableAllowance
    // bytes (ImageTable.h: what the files of the image really store).
    static std::unique_ptr<VmdkSparseExtent> open(ImagePart file, std::uint64_t tableAllowance, FormatProblem* problem);

    // Bytes of the extent at offset [0, size()); grains without data read as
    // zeros. False (the rest zero-filled) when a table or grain cannot be read.
    bool read(std::int64_t offset, MutableByteSpan out) const;
    // True when no grain of the range is stored in the file.
    bool isUnallocated(std::int64_t offset, std::int64_t length) const;
    // The first offset at or after `offset` in a grain that may hold data (a
    // grain whose table cannot be read counts as holding some); size() when none.
    std::int64_t nextStored(std::int64_t offset) const;

    std::int64_t size() const { return static_cast<std::int64_t>(header_.capacity) * 512; }
    // The most disk data the file can hold: its length, or for compressed grains
    // (each takes at least one sector of the file) one grain per sector of it.
    std::int64_t storedBytes() const;
    std::int64_t grainBytes() const { return grainBytes_; }
    std::uint64_t directoryBytes() const { return directory_.size() * std::uint64_t{4}; }
    // Bytes of one grain table.
    std::uint64_t tableBytes() const { return std::uint64_t{header_.tableEntries} * 4; }
    // Caches at most `slots` grain tables (up to kTableSlots; 0: none, each entry
    // is read from the file): an image of many extents shares one cache budget.
    void limitCache(std::size_t slots) { cacheSlots_ = std::min(slots, kTableSlots); }
    const VmdkSparseHeader& header() const { return header_; }
    // The embedded descriptor's text; empty when there is none or it lies outside
    // the file.
    std::string embeddedDescriptor() const;

private:
    VmdkSparseExtent() = default;
    // The grain table entry of a grain: its sector in the file, kVmdkGrainAbsent or
    // kVmdkGrainZero. nullopt when its grain table cannot be read.
    std::optional<std::uint32_t> grainEntry(std::uint64_t grain) const;
    bool readCompressed(std::uint64_t grain, std::uint32_t entry, std::int64_t inGrain, MutableByteSpan out) const;
    // Inflates the compressed grain at file sector `entry` into out (one grain long).
    bool inflateGrain(std::uint32_t entry, MutableByteSpan out) const;

    struct TableSlot {
        std::uint64_t index = ~std::uint64_t{0};
        std::vector<std::uint32_t> entries;
    };
    static constexpr std::size_t kTableSlots = 64;
    std::size_t cacheSlots_ = kTableSlots;

    ImagePart file_;
    std::int64_t fileLength_ = 0;
    VmdkSparseHeader header_;
    std::int64_t grainBytes_ = 0;
    std::vector<std::uint32_t> directory_;

    mutable std::mutex mutex_;
    mutable std::array<TableSlot, kTableSlots> tables_;
    // The last inflated grain: sequential reads of a compressed image inflate each once.
    mutable std::uint64_t inflatedGrain_ = ~std::uint64_t{0};
    mutable std::vector<std::uint8_t> inflated_;
};

}  // namespace tavrel
