// The image reader interface: every disk read of Tavrel goes through one of these.
// A reader presents an image as a flat virtual disk of 512-byte sectors.
//
// Two ways to read:
//  - seek(position) + read(buffer, length): the stateful pair the pages and the
//    older callers use; seek adds baseOffset and positions at the start of the
//    sector that holds the byte.
//  - readAt(diskOffset, buffer): stateless and thread-safe, absolute virtual-disk
//    offset (baseOffset is not added). Unallocated areas read as zeros.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "image/ImageInfo.h"
#include "image/OpenOutcome.h"
#include "util/Bytes.h"

namespace tavrel {

inline constexpr std::int64_t kSectorSize = 512;

class readWriteInterface {
public:
    virtual ~readWriteInterface() = default;

    virtual bool open(std::string path) = 0;
    virtual bool read(std::uint8_t* buffer, std::uint32_t length);
    virtual bool seek(std::int64_t position, std::int32_t origin = 0);
    virtual bool reserved(std::int32_t value);

    // Fills `out` with the virtual disk's bytes at [diskOffset, diskOffset+size).
    // Returns false when the range leaves the disk or a file read fails; what could
    // not be read is zero-filled.
    virtual bool readAt(std::int64_t diskOffset, MutableByteSpan out) const = 0;

    // True when no byte of [diskOffset, diskOffset+length) is stored in the image
    // (it reads as zeros): lets a copy skip unallocated blocks without reading them.
    virtual bool isUnallocated(std::int64_t /*diskOffset*/, std::int64_t /*length*/) const { return false; }

    // The first disk offset at or after `diskOffset` that the image may store:
    // every byte from diskOffset up to it reads as zeros without being stored, so
    // a walk over the whole disk can jump there. diskSize() when nothing further
    // is stored. The default (every byte may be stored) returns diskOffset itself;
    // so does every reader for offsets outside [0, diskSize()).
    virtual std::int64_t nextStored(std::int64_t diskOffset) const { return diskOffset; }

    // Size of the virtual disk in bytes (0 before a successful open).
    virtual std::int64_t diskSize() const = 0;
    std::uint64_t totalSectors() const { return static_cast<std::uint64_t>(diskSize() / kSectorSize); }

    // What the image is: format, version, sizes, geometry and format extras. The
    // default describes a flat disk of diskSize() bytes with no format name.
    virtual ImageInfo describe() const;

    // How the last open ended: its kind, the file offset where it applies, and
    // the user-facing text of a failure ("Not a valid vhd file", ...).
    const OpenOutcome& openOutcome() const { return outcome_; }
    const std::string& lastError() const { return outcome_.text; }

    std::int64_t fileLength = 0;  // length of the image file (0 for images in memory)
    std::int64_t baseOffset = 0;

protected:
    // The part of `out` that lies on a disk of `diskSize` bytes from `offset`;
    // what lies past the disk's end is zeroed (all of `out` when the offset is
    // off the disk, giving an empty span). `whole` tells whether all of `out`
    // lies on the disk: when not, the read fails after filling the rest.
    static MutableByteSpan onDisk(std::int64_t diskSize, std::int64_t offset, MutableByteSpan out, bool& whole) {
        whole = false;
        if (offset < 0 || offset >= diskSize) {
            std::fill(out.begin(), out.end(), std::uint8_t{0});
            return out.first(0);
        }
        const auto avail = static_cast<std::uint64_t>(diskSize - offset);
        whole = avail >= out.size();
        const MutableByteSpan part = whole ? out : out.first(static_cast<std::size_t>(avail));
        std::fill(out.begin() + static_cast<std::ptrdiff_t>(part.size()), out.end(), std::uint8_t{0});
        return part;
    }

    // Records a refused open and returns false, so that open() can end with it.
    bool refuse(OpenResult result, std::string text, std::int64_t offset = -1) {
        outcome_ = {result, offset, std::move(text)};
        return false;
    }
    void clearOutcome() { outcome_ = {}; }

    OpenOutcome outcome_;
    std::int64_t position_ = 0;  // mapped virtual-disk byte offset (baseOffset included)
};

}  // namespace tavrel
