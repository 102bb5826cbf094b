// A volume whose bytes do not lie in one run of the disk (an LVM2 logical
// volume): a reader over the disk's reader that maps each volume offset
// through a list of runs, each linear or striped. The parsers read it like a
// disk of its own through a VolumeView, so none of them needs to know.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "image/readWriteInterface.h"

namespace tavrel {

// Bytes [volumeOffset, volumeOffset + length) of the volume. They are bytes
// [skip, skip + length) of a layout that deals chunks of stripeBytes to the
// stripes in turn (one stripe: plain consecutive bytes); stripes[i] is the
// disk offset of stripe i's first byte.
struct MappedRun {
    std::int64_t volumeOffset = 0;
    std::int64_t length = 0;
    std::int64_t skip = 0;
    std::int64_t stripeBytes = 0;
    std::vector<std::int64_t> stripes;
};

// Runs must be sorted, non-overlapping and each sound (checked by the
// constructor: a run that is not is dropped and reads as a gap). A gap reads
// as zeros and makes readAt return false.
class MappedVolumeReader final : public readWriteInterface {
public:
    MappedVolumeReader(const readWriteInterface& disk, std::vector<MappedRun> runs, std::int64_t size);

    bool open(std::string) override { return false; }
    bool readAt(std::int64_t offset, MutableByteSpan out) const override;
    bool isUnallocated(std::int64_t offset, std::int64_t length) const override;
    std::int64_t diskSize() const override { return size_; }

    // The disk offset of a volume byte; -1 in a gap. `contiguous` gets how many
    // bytes from there lie in one disk run.
    std::int64_t diskOffsetOf(std::int64_t offset, std::int64_t& contiguous) const;

private:
    const readWriteInterface& disk_;
    std::vector<MappedRun> runs_;
    std::int64_t size_;
};

}  // namespace tavrel
