// A volume's window onto the disk: byte 0 is the volume's first sector. Parsers
// read through this instead of moving the shared reader's baseOffset, so reads are
// stateless and a worker and the interface thread never disturb each other.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "image/readWriteInterface.h"

namespace tavrel {

class VolumeView {
public:
    VolumeView(const readWriteInterface& reader, std::int64_t startSector, std::int64_t sectorCount = -1)
        : reader_(&reader), base_(startSector * kSectorSize) {
        const std::int64_t onDisk = reader.diskSize() - base_;
        size_ = sectorCount < 0 ? std::max<std::int64_t>(onDisk, 0)
                                : std::max<std::int64_t>(std::min(sectorCount * kSectorSize, onDisk), 0);
    }

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

    std::int64_t size() const { return size_; }            // bytes reachable on the disk
    std::int64_t baseOffset() const { return base_; }      // first byte on the disk
    const readWriteInterface& reader() const { return *reader_; }

private:
    const readWriteInterface* reader_;
    std::int64_t base_;
    std::int64_t size_;
};

}  // namespace tavrel
