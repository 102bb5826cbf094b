// Which clusters (blocks) of a volume its file system counts as allocated now,
// read from the file system's own map: the NTFS $Bitmap, the FAT, the exFAT
// allocation bitmap, the ext block bitmaps, the HFS+ allocation file. One bit
// per allocation unit, numbered as the file system numbers them (FAT and exFAT:
// cluster 2 is the heap's first). Space outside the units (boot sectors, the
// FAT, the volume's tail) counts as allocated, so a walk over the whole volume
// that keeps free units keeps only space no structure holds.
//
// Also: where an entry's content lies, in the map's units, as the save reads it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "util/Bytes.h"

namespace tavrel::fs {

class AllocationMap {
public:
    // `count` units from `first`; unit `first` starts at volume byte `firstOffset`.
    // All free until marked. The caller bounds `count` by the volume's size.
    AllocationMap(std::uint64_t first, std::uint64_t count, std::int64_t unitSize, std::int64_t firstOffset);

    // Marks units from `unit` after bitmap bytes, one bit per unit: lowest bit
    // first (NTFS, exFAT, ext) or highest bit first (HFS+). Bits past the map
    // are ignored.
    void markBits(std::uint64_t unit, ByteSpan bits, bool highBitFirst = false);
    void mark(std::uint64_t first, std::uint64_t count);

    // Units outside the map count as allocated.
    bool allocated(std::uint64_t unit) const;
    // How many of the `count` units from `first` are allocated (a word at a time).
    std::uint64_t countAllocated(std::uint64_t first, std::uint64_t count) const;
    // The first free unit at or after `unit`, or nullopt when none is left.
    std::optional<std::uint64_t> nextFree(std::uint64_t unit) const;
    // The first allocated unit at or after `unit` (the map's end when none is).
    std::uint64_t nextAllocated(std::uint64_t unit) const;

    // Byte geometry, for a walk over the volume's bytes.
    std::uint64_t firstUnit() const { return first_; }
    std::uint64_t unitCount() const { return count_; }
    std::int64_t unitSize() const { return unitSize_; }
    std::int64_t offsetOf(std::uint64_t unit) const;
    // Whether the byte at volume offset `offset` lies in an allocated unit or
    // outside every unit.
    bool allocatedAt(std::int64_t offset) const;
    // The first volume byte at or after `offset` that lies in a free unit, or -1.
    std::int64_t freeFrom(std::int64_t offset) const;
    // For a byte in a free unit: where its run of free units ends (the first
    // byte of the next allocated unit, or the map's end); `offset` otherwise.
    std::int64_t freeUntil(std::int64_t offset) const;

private:
    bool inside(std::uint64_t unit) const { return unit >= first_ && unit - first_ < count_; }
    std::uint64_t unitAt(std::int64_t offset) const {
        return first_ + static_cast<std::uint64_t>((offset - firstOffset_) / unitSize_);
    }
    std::uint64_t first_;
    std::uint64_t count_;
    std::int64_t unitSize_;
    std::int64_t firstOffset_;
    std::vector<std::uint64_t> words_;
};

// `count` units from `first`.
struct UnitRun {
    std::uint64_t first = 0;
    std::uint64_t count = 0;
};

// Where an entry's content lies, as its save reads it.
struct ContentPlace {
    enum class Kind {
        Unknown,   // the entry no longer says (zeroed extents, a guessed chain, an unreadable record)
        Resident,  // inside the entry's own record (NTFS resident data)
        Units,     // in `runs` of the allocation map's units (none for an empty file)
    };
    Kind kind = Kind::Unknown;
    std::vector<UnitRun> runs;
};

}  // namespace tavrel::fs
