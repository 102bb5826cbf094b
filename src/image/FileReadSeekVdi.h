// Reader for VDI images (header version 1.1): a header, a block map of 32-bit
// entries, and the blocks' data. Dynamic, fixed and differencing images read
// alike; blocks without data (free or recorded as zeros) read as zeros and are
// reported unallocated, and no parent image is followed. The image file is
// opened read-only. openImage (ImageOpener.h) picks this reader by the header's
// signature, whatever the file is called.
#pragma once

#include <string>
#include <vector>

#include "image/HostFile.h"
#include "image/VdiFormat.h"
#include "image/readWriteInterface.h"

namespace tavrel {

class FileReadSeekVdi : public readWriteInterface {
public:
    bool open(std::string path) override;
    bool seek(std::int64_t position, std::int32_t origin = 0) override;
    bool readAt(std::int64_t diskOffset, MutableByteSpan out) const override;
    std::int64_t diskSize() const override { return diskSize_; }
    bool isUnallocated(std::int64_t diskOffset, std::int64_t length) const override;
    std::int64_t nextStored(std::int64_t diskOffset) const override;
    ImageInfo describe() const override;

    const VdiHeader& header() const { return header_; }
    // One entry per block: the block's index in the data area, or kVdiBlockFree /
    // kVdiBlockZero for a block without data.
    const std::vector<std::uint32_t>& blockMap() const { return blockMap_; }

    // 0 when the sector the last seek mapped has no data in the file.
    std::uint8_t sectorAllocated = 1;

private:
    // Refuses the image: the kind, the file offset where it applies, the text.
    bool fail(OpenResult result, std::string text, std::int64_t offset = -1);
    static bool hasData(std::uint32_t entry) { return entry < kVdiBlockZero; }

    HostFile file_;
    VdiHeader header_;
    std::vector<std::uint32_t> blockMap_;
    // Indices of the blocks with data, ascending: nextStored is a binary search.
    std::vector<std::uint32_t> storedBlocks_;
    std::int64_t diskSize_ = 0;
};

}  // namespace tavrel
