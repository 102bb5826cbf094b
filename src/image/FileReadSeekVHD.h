// Reader for VHD images: dynamic (footer copy, dynamic header, block allocation
// table, blocks each preceded by a sector bitmap), differencing (read like dynamic;
// blocks absent from the table are zeros, no parent is followed) and fixed (the
// disk's sectors followed by the footer). The image file is opened read-only.
// The file's name plays no part: openImage (ImageOpener.h) picks this reader when
// the content carries a VHD footer.
#pragma once

#include <vector>

#include "image/HostFile.h"
#include "image/ImageTexts.h"
#include "image/VhdFormat.h"
#include "image/readWriteInterface.h"

namespace tavrel {

class FileReadSeekVHD : public readWriteInterface {
public:
    static constexpr const char* kNotVhdText = imagetexts::kNotAnImage;
    static constexpr const char* kInvalidHandleText = imagetexts::kInvalidHandle;

    bool open(std::string path) override;
    bool seek(std::int64_t position, std::int32_t origin = 0) override;
    bool readAt(std::int64_t diskOffset, MutableByteSpan out) const override;
    std::int64_t diskSize() const override { return diskSize_; }
    bool isUnallocated(std::int64_t diskOffset, std::int64_t length) const override;
    std::int64_t nextStored(std::int64_t diskOffset) const override;
    ImageInfo describe() const override;

    const VhdFooter& footer() const { return footer_; }
    const VhdDynamicHeader& dynamicHeader() const { return header_; }
    bool isFixed() const { return fixed_; }
    // "vhd-fixed", "vhd-dynamic" or "vhd-differencing".
    const char* formatName() const;

    // The block allocation table (dynamic and differencing images): one entry per
    // block, the block's first sector in the file or kVhdUnallocated.
    std::vector<std::uint32_t> blockTable;
    std::uint64_t tableEntriesRead = 0;
    // 0 when the sector the last seek mapped lies in an unallocated block.
    std::uint8_t sectorAllocated = 1;

private:
    // Refuses the image: the kind, the file offset where it applies, the text.
    bool fail(OpenResult result, const std::string& text, std::int64_t offset = -1);
    bool damaged(std::int64_t offset) { return fail(OpenResult::Damaged, kNotVhdText, offset); }
    bool readDynamic(std::int64_t diskOffset, MutableByteSpan out) const;
    bool readFixed(std::int64_t diskOffset, MutableByteSpan out) const;

    HostFile file_;
    VhdFooter footer_;
    VhdDynamicHeader header_;
    bool fixed_ = false;
    std::int64_t diskSize_ = 0;
    std::int64_t blockSize_ = 0;
    std::int64_t bitmapSize_ = 0;
    // Indices of the blocks the table stores, ascending: nextStored is a binary search.
    std::vector<std::uint32_t> storedBlocks_;
};

}  // namespace tavrel
