#include "fs/ntfs/MftLayout.h"

#include <algorithm>

namespace tavrel::fs {

namespace {
// The MFT is checked against the image's storage in pieces of about 1 MiB, so
// a stretch of unallocated blocks inside a run gets no slots.
constexpr std::uint64_t kPieceBytes = 1 << 20;
}  // namespace

MftLayout MftLayout::build(const std::vector<MftRun>& runs, std::int64_t clusterSize, std::uint32_t recordSize,
                           const MftLimits& limits, const Stored& stored) {
    MftLayout l;
    if (clusterSize <= 0 || recordSize == 0 || limits.volumeSize <= 0) return l;
    const auto cs = static_cast<std::uint64_t>(clusterSize);
    const std::uint64_t rs = recordSize;
    const auto volume = static_cast<std::uint64_t>(limits.volumeSize);
    const std::uint64_t pieceRecords = std::max<std::uint64_t>(1, kPieceBytes / rs);
    std::uint64_t streamPos = 0;  // MFT stream byte where the current run starts
    std::uint64_t next = 0;       // MFT stream byte of the next record start
    std::optional<MftSplitRecord> split;  // a record an earlier run's end cut
    std::uint64_t missing = 0;            // its bytes not placed yet (< rs)
    for (const MftRun& run : runs) {
        if (!split && (l.slots_ >= limits.maxSlots || next / rs >= limits.maxRecords)) break;
        // An MFT longer than its volume is a claim no volume backs.
        if (streamPos > volume) {
            l.cut_ = true;
            break;
        }
        std::int64_t base = 0;
        const bool onVolume = !run.sparse && !__builtin_mul_overflow(run.lcn, clusterSize, &base) && base >= 0 &&
                              static_cast<std::uint64_t>(base) < volume;
        if (!run.sparse && !onVolume) l.cut_ = true;
        const auto baseU = static_cast<std::uint64_t>(base);
        // A run reaching past the volume's end is clipped there: the records it
        // starts with are still worth reading. Where the MFT goes on after it is
        // unknown, so the runs after a clipped one are not followed.
        const std::uint64_t room = onVolume ? volume - baseU : volume;
        const bool clipped = run.length > room / cs;
        if (clipped) l.cut_ = true;
        const std::uint64_t runBytes = clipped ? room : run.length * cs;
        const std::uint64_t runEnd = streamPos + runBytes;
        const bool usable = onVolume && stored(base, static_cast<std::int64_t>(std::min(runBytes, volume - baseU)));
        // The rest of a cut record comes first; a record with a piece the image
        // lacks gets no slot.
        if (split && !usable) split.reset();
        if (split) {
            const std::uint64_t take = std::min(missing, runBytes);
            split->pieces.push_back({base, static_cast<std::uint32_t>(take)});  // take <= missing < rs
            missing -= take;
            if (missing == 0) {
                l.addSplit(std::move(*split), limits.maxSlots, recordSize);
                split.reset();
            }
        }
        if (usable) {
            while (next < runEnd && runEnd - next >= rs) {
                const std::uint64_t record = next / rs;
                if (record >= limits.maxRecords || l.slots_ >= limits.maxSlots) break;
                const std::uint64_t at = baseU + (next - streamPos);
                if (at >= volume) {
                    l.cut_ = true;
                    break;
                }
                std::uint64_t count =
                    std::min({(runEnd - next) / rs, pieceRecords, limits.maxRecords - record, (volume - at) / rs});
                if (count == 0) break;
                if (stored(static_cast<std::int64_t>(at), static_cast<std::int64_t>(count * rs))) {
                    const std::uint64_t room = limits.maxSlots - l.slots_;
                    if (count > room) {
                        count = room;
                        l.cut_ = true;
                    }
                    l.add(record, count, static_cast<std::int64_t>(at), recordSize);
                }
                next += count * rs;
            }
            // A record this run's end cuts: its first piece, the rest from the
            // runs that follow.
            const std::uint64_t at = baseU + (next - streamPos);
            if (next < runEnd && runEnd - next < rs && next / rs < limits.maxRecords && at < volume &&
                stored(static_cast<std::int64_t>(at), static_cast<std::int64_t>(runEnd - next))) {
                const auto first = static_cast<std::uint32_t>(runEnd - next);  // < rs
                split = MftSplitRecord{next / rs, {{static_cast<std::int64_t>(at), first}}};
                missing = rs - (runEnd - next);
                next += rs;
            }
        }
        if (clipped) break;
        // The next record starts at or after this run's end.
        if (next < runEnd) next = (runEnd + rs - 1) / rs * rs;
        streamPos = runEnd;
    }
    std::sort(l.splits_.begin(), l.splits_.end(), [](const MftSplitRecord& a, const MftSplitRecord& b) {
        return a.pieces.front().offset < b.pieces.front().offset;
    });
    return l;
}

void MftLayout::addSplit(MftSplitRecord split, std::uint64_t maxSlots, std::uint32_t recordSize) {
    if (slots_ >= maxSlots) {
        cut_ = true;
        return;
    }
    add(split.record, 1, split.pieces.front().offset, recordSize);
    splits_.push_back(std::move(split));
}

const MftSplitRecord* MftLayout::splitAt(std::int64_t offset) const {
    const auto before = [](const MftSplitRecord& s, std::int64_t o) { return s.pieces.front().offset < o; };
    const auto it = std::lower_bound(splits_.begin(), splits_.end(), offset, before);
    return it != splits_.end() && it->pieces.front().offset == offset ? &*it : nullptr;
}

void MftLayout::add(std::uint64_t record, std::uint64_t count, std::int64_t offset, std::uint32_t recordSize) {
    if (count == 0) return;
    if (!segments_.empty()) {
        MftSegment& last = segments_.back();
        if (last.firstRecord + last.count == record &&
            last.offset + static_cast<std::int64_t>(last.count * recordSize) == offset) {
            last.count += count;
            slots_ += count;
            return;
        }
    }
    segments_.push_back({record, count, offset, slots_});
    slots_ += count;
}

std::optional<std::uint64_t> MftLayout::slotOf(std::uint64_t record) const {
    auto it = std::upper_bound(segments_.begin(), segments_.end(), record,
                               [](std::uint64_t r, const MftSegment& s) { return r < s.firstRecord; });
    if (it == segments_.begin()) return std::nullopt;
    --it;
    if (record - it->firstRecord >= it->count) return std::nullopt;
    return it->firstSlot + (record - it->firstRecord);
}

}  // namespace tavrel::fs
