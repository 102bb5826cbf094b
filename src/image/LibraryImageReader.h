// The part every reader over an image library shares: bounds, zero-filling,
// locking and parallel reads. A library handle keeps a read position and caches,
// so each handle is used by one thread at a time; a reader opens the image once
// per lane (up to kMaxLanes, one per processor) and a long read is split between
// the lanes, so that decompressing formats use every processor. A read failing
// somewhere inside a long run is retried in pieces, so that it loses only the
// pieces that fail, not the whole run.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "image/LaneWorkers.h"
#include "image/readWriteInterface.h"

namespace tavrel {

class LibraryImageReader : public readWriteInterface {
public:
    // A failed read is retried in pieces of this many bytes.
    static constexpr std::size_t kRetryPiece = 65536;
    static constexpr std::size_t kMaxLanes = 4;
    // A read is split between lanes only when each gets at least this much,
    // in pieces of kLanePiece (whole retry pieces) that the lanes take in turn.
    static constexpr std::size_t kMinLaneBytes = 512 * 1024;
    static constexpr std::size_t kLanePiece = 4 * kRetryPiece;

    bool readAt(std::int64_t diskOffset, MutableByteSpan out) const final;
    std::int64_t diskSize() const final { return diskSize_; }

protected:
    // Opens one more lane on the image open() has opened (the image's handles
    // again); false when it cannot, and the reader then makes do with fewer.
    virtual bool openLane(const std::string& path) = 0;
    // Reads exactly out.size() bytes of the disk at offset through lane `lane`,
    // inside the disk; false on any failure. Called with that lane's lock held.
    virtual bool readFromLibrary(std::size_t lane, std::int64_t diskOffset, MutableByteSpan out) const = 0;

    // Called by open() once the first lane is open: opens the others.
    void openMoreLanes(const std::string& path);
    // Records the open failure (refuse()) and forgets the disk.
    bool fail(OpenResult result, std::string text, std::int64_t offset = -1);

    std::int64_t diskSize_ = 0;

private:
    bool readLane(std::size_t lane, std::int64_t diskOffset, MutableByteSpan out) const;

    std::size_t lanes_ = 1;
    std::unique_ptr<LaneWorkers> workers_;  // lanes 1.. of long reads; null with one lane
    mutable std::vector<std::unique_ptr<std::mutex>> locks_ = [] {
        std::vector<std::unique_ptr<std::mutex>> v;
        for (std::size_t i = 0; i < kMaxLanes; ++i) v.push_back(std::make_unique<std::mutex>());
        return v;
    }();
};

}  // namespace tavrel
