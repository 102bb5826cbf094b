// The part every reader over an image library shares: bounds, zero-filling, one
// lock around the library's handle (readAt must be safe from several threads,
// and a library handle keeps a read position and caches), and piecewise retries
// so that a read failing somewhere inside a long run loses only the pieces that
// fail, not the whole run.
#pragma once

#include <mutex>

#include "image/readWriteInterface.h"

namespace tavrel {

class LibraryImageReader : public readWriteInterface {
public:
    // A failed read is retried in pieces of this many bytes.
    static constexpr std::size_t kRetryPiece = 65536;

    bool readAt(std::int64_t diskOffset, MutableByteSpan out) const final;
    std::int64_t diskSize() const final { return diskSize_; }

protected:
    // Reads exactly out.size() bytes of the disk at offset, inside the disk;
    // false on any failure. Called with the lock held.
    virtual bool readFromLibrary(std::int64_t diskOffset, MutableByteSpan out) const = 0;

    // Sets the open failure's text and forgets the disk.
    bool fail(std::string text);

    std::int64_t diskSize_ = 0;

private:
    mutable std::mutex mutex_;
};

// The length of the file at path (0 when it cannot be read): the image's
// fileLength bounds what a parser may allocate.
std::int64_t hostFileLength(const std::string& path);

}  // namespace tavrel
