#include "image/readWriteInterface.h"

namespace tavrel {

bool readWriteInterface::seek(std::int64_t position, std::int32_t /*origin*/) {
    const std::int64_t absolute = position + baseOffset;
    if (absolute < 0) return false;
    const std::int64_t sectorStart = absolute / kSectorSize * kSectorSize;
    // A position past the disk fails and leaves the previous mapping in place.
    if (sectorStart >= diskSize()) return false;
    position_ = sectorStart;
    return true;
}

bool readWriteInterface::read(std::uint8_t* buffer, std::uint32_t length) {
    if (length == 0) return true;
    const bool ok = readAt(position_, MutableByteSpan(buffer, length));
    position_ += length;
    return ok;
}

ImageInfo readWriteInterface::describe() const {
    ImageInfo info;
    info.diskSize = diskSize();
    info.sectors = totalSectors();
    info.statedSize = static_cast<std::uint64_t>(info.diskSize);
    return info;
}

bool readWriteInterface::reserved(std::int32_t /*value*/) { return true; }

}  // namespace tavrel
