// A volume's window onto the disk: byte 0 is the volume's first sector. Parsers
// read through this instead of moving the shared reader's baseOffset, so reads are
// stateless and a worker and the interface thread never disturb each other.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "image/readWriteInterface.h"

namespace tavrel {

class VolumeView {
public:
    // A volume is clipped to the disk: sector numbers come from the image and
    // may claim anything, so no product is formed before it is known to fit.
    VolumeView(const readWriteInterface& reader, std::int64_t startSector, std::int64_t sectorCount = -1)
        : reader_(&reader) {
        const std::int64_t disk = std::max<std::int64_t>(reader.diskSize(), 0);
        base_ = startSector >= 0 && startSector <= disk / kSectorSize ? startSector * kSectorSize : disk;
        const std::int64_t onDisk = disk - base_;
        if (sectorCount < 0) {
            size_ = onDisk;
        } else if (sectorCount > onDisk / kSectorSize) {
            size_ = onDisk;
            clipped_ = true;
        } else {
            size_ = sectorCount * kSectorSize;
        }
        if (startSector < 0 || startSector > disk / kSectorSize) clipped_ = true;
    }

    // A volume that is a reader of its own (one that maps its bytes onto the
    // disk's): the view shares the reader and keeps it alive with its copies.
    explicit VolumeView(std::shared_ptr<const readWriteInterface> mapped)
        : reader_(mapped.get()), size_(std::max<std::int64_t>(mapped->diskSize(), 0)), owned_(std::move(mapped)) {}

    // Bytes at a volume-relative offset. False (zero-filled) outside the volume or
    // on a read error.
    bool readAt(std::int64_t offset, MutableByteSpan out) const {
        if (offset < 0 || offset > size_ || static_cast<std::uint64_t>(size_ - offset) < out.size()) {
            std::fill(out.begin(), out.end(), std::uint8_t{0});
            if (offset >= 0 && offset < size_)
                reader_->readAt(base_ + offset, out.first(static_cast<std::size_t>(size_ - offset)));
            return false;
        }
        return reader_->readAt(base_ + offset, out);
    }

    // Convenience: a fresh buffer of `length` bytes (empty when the read failed).
    std::vector<std::uint8_t> read(std::int64_t offset, std::size_t length) const {
        std::vector<std::uint8_t> buf(length);
        if (!readAt(offset, buf)) buf.clear();
        return buf;
    }

    // The first volume offset at or after `offset` that the image may store
    // (size() when none is): the bytes before it read as zeros.
    std::int64_t nextStored(std::int64_t offset) const {
        if (offset < 0 || offset >= size_) return offset;
        const std::int64_t at = reader_->nextStored(base_ + offset);
        return at <= base_ + offset ? offset : std::min(at - base_, size_);
    }

    // For walks over the volume in chunks of `step` bytes: `start` when the
    // chunk there may hold stored bytes, otherwise the start of the first later
    // chunk (start + a multiple of step) that may, at least start + step. Keeps
    // the walk on its grid, so what it finds does not change: only chunks that
    // read as zeros are passed over, however many there are.
    std::int64_t storedChunkFrom(std::int64_t start, std::int64_t step) const {
        if (start < 0 || start >= size_ || step <= 0) return start;
        const std::int64_t length = std::min(step, size_ - start);
        if (!reader_->isUnallocated(base_ + start, length)) return start;
        const std::int64_t next = nextStored(start + length);
        return start + std::max<std::int64_t>(1, (next - start) / step) * step;
    }

    // How much of [offset, offset + length) a walk must read: up to the end of
    // the last `unit` that may hold stored bytes (what follows reads as zeros),
    // 0 when none does. A chunk that holds one stored block then costs that
    // block, not the whole chunk.
    std::int64_t storedPrefix(std::int64_t offset, std::int64_t length, std::int64_t unit = 65536) const {
        if (offset < 0 || length <= 0 || unit <= 0 || offset >= size_) return std::max<std::int64_t>(length, 0);
        length = std::min(length, size_ - offset);
        // The smallest number of units after which the rest is unstored.
        std::int64_t lo = 0, hi = (length + unit - 1) / unit;
        while (lo < hi) {
            const std::int64_t mid = lo + (hi - lo) / 2;
            if (reader_->isUnallocated(base_ + offset + mid * unit, length - mid * unit)) {
                hi = mid;
            } else {
                lo = mid + 1;
            }
        }
        return std::min(lo * unit, length);
    }

    std::int64_t size() const { return size_; }            // bytes reachable on the disk
    std::int64_t baseOffset() const { return base_; }      // first byte on the disk
    bool clipped() const { return clipped_; }              // the volume claimed more than the disk holds
    const readWriteInterface& reader() const { return *reader_; }

private:
    const readWriteInterface* reader_;
    std::int64_t base_ = 0;
    std::int64_t size_ = 0;
    bool clipped_ = false;
    std::shared_ptr<const readWriteInterface> owned_;
};

}  // namespace tavrel
