// Reader for raw disk images: the file is the disk, byte for byte (a dd copy of
// a disk, or the ".img" the disk export writes). The disk is as long as the
// file. The image file is opened read-only.
#pragma once

#include "image/HostFile.h"
#include "image/readWriteInterface.h"

namespace tavrel {

class FileReadSeekRaw : public readWriteInterface {
public:
    bool open(std::string path) override;
    bool readAt(std::int64_t diskOffset, MutableByteSpan out) const override;
    std::int64_t diskSize() const override { return diskSize_; }
    ImageInfo describe() const override;

private:
    HostFile file_;
    std::int64_t diskSize_ = 0;
};

}  // namespace tavrel
