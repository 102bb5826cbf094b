// Where each MFT record slot lies on the volume, from the $MFT's runs, and
// which slots the entry table keeps.
//
// The table is sized from what the image can back, never from a claim alone:
// record numbers stop at the $MFT's real size and at the volume's size, a stretch
// of the MFT that the image does not store (unallocated blocks of a dynamic
// image, holes) gets no slots, and no more slots are kept than the image's own
// bytes could hold records. A forged run of 2^40 clusters over a tiny image thus
// yields at most (image bytes / record size) slots. A run reaching past the
// volume's end is clipped there, and the runs after it are not followed.
//
// Kept slots are numbered 0..size()-1 in record order; indexOf() maps a record
// number back to its slot. On a whole, stored MFT, slot i is record i.
//
// When clusters are smaller than records, a run may end inside a record: that
// record's bytes lie in two (or more) places. Its slot's offset is where its
// first piece lies, and splitAt() gives all its pieces.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "fs/ntfs/NtfsTypes.h"

namespace tavrel::fs {

struct MftLimits {
    std::uint64_t maxRecords = 0;  // record numbers from here on are not looked at
    std::uint64_t maxSlots = 0;    // at most this many slots are kept
    std::int64_t volumeSize = 0;   // records must start inside the volume
};

// A run of consecutive records lying back to back on the volume.
struct MftSegment {
    std::uint64_t firstRecord = 0;
    std::uint64_t count = 0;
    std::int64_t offset = 0;       // volume byte offset of the first record
    std::uint64_t firstSlot = 0;
};

// A record that the end of a run cuts: its pieces, in order, add up to one
// record.
struct MftSplitRecord {
    std::uint64_t record = 0;
    std::vector<RecordPiece> pieces;
};

class MftLayout {
public:
    // True when [offset, offset + length) of the volume is stored in the image.
    using Stored = std::function<bool(std::int64_t offset, std::int64_t length)>;

    static MftLayout build(const std::vector<MftRun>& runs, std::int64_t clusterSize, std::uint32_t recordSize,
                           const MftLimits& limits, const Stored& stored);

    std::uint64_t size() const { return slots_; }
    const std::vector<MftSegment>& segments() const { return segments_; }
    std::optional<std::uint64_t> slotOf(std::uint64_t record) const;
    // The split record whose first piece lies at `offset`, or null.
    const MftSplitRecord* splitAt(std::int64_t offset) const;
    bool hasSplits() const { return !splits_.empty(); }
    // True when the runs claimed more than the volume or the image could hold
    // and the claim was cut.
    bool cut() const { return cut_; }

private:
    void add(std::uint64_t record, std::uint64_t count, std::int64_t offset, std::uint32_t recordSize);
    void addSplit(MftSplitRecord split, std::uint64_t maxSlots, std::uint32_t recordSize);

    std::vector<MftSegment> segments_;
    std::vector<MftSplitRecord> splits_;  // by first piece's offset
    std::uint64_t slots_ = 0;
    bool cut_ = false;
};

}  // namespace tavrel::fs
