// Reader for VHD images: dynamic (footer copy, dynamic header, block allocation
// table, blocks each preceded by a sector bitmap), differencing (read like dynamic;
// blocks absent from the table are zeros, no parent is followed) and fixed (the
// disk's sectors followed by the footer). The image file is opened read-only.
#pragma once

#include "image/HostFile.h"
#include "image/VhdFormat.h"
#include "image/readWriteInterface.h"

namespace tavrel {

class FileReadSeekVHD : public readWriteInterface {
public:
    static constexpr const char* kNotVhdText = "Not a valid vhd file";
    static constexpr const char* kInvalidHandleText = "Invalid handle.";

    bool open(std::string path) override;
    bool readAt(std::int64_t diskOffset, MutableByteSpan out) const override;
    std::int64_t diskSize() const override { return diskSize_; }
    bool isUnallocated(std::int64_t diskOffset, std::int64_t length) const override;

    const VhdFooter& footer() const { return footer_; }
    const VhdDynamicHeader& dynamicHeader() const { return header_; }
    bool isFixed() const { return fixed_; }

private:
    bool fail(const std::string& text);
    bool readDynamic(std::int64_t diskOffset, MutableByteSpan out) const;

    HostFile file_;
    VhdFooter footer_;
    VhdDynamicHeader header_;
    bool fixed_ = false;
    std::int64_t diskSize_ = 0;
    std::int64_t blockSize_ = 0;
    std::int64_t bitmapSize_ = 0;
};

}  // namespace tavrel
