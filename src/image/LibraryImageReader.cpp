#include "image/LibraryImageReader.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace tavrel {

bool LibraryImageReader::fail(OpenResult result, std::string text, std::int64_t offset) {
    diskSize_ = 0;
    lanes_ = 1;
    workers_.reset();
    return refuse(result, std::move(text), offset);
}

void LibraryImageReader::openMoreLanes(const std::string& path) {
    lanes_ = 1;
    const std::size_t wanted = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, kMaxLanes);
    while (lanes_ < wanted && openLane(path)) ++lanes_;
    workers_ = lanes_ > 1 ? std::make_unique<LaneWorkers>(lanes_ - 1) : nullptr;
}

bool LibraryImageReader::readLane(std::size_t lane, std::int64_t diskOffset, MutableByteSpan out) const {
    const std::lock_guard lock(*locks_[lane]);
    if (readFromLibrary(lane, diskOffset, out)) return true;
    bool ok = true;
    for (std::size_t done = 0; done < out.size(); done += kRetryPiece) {
        const MutableByteSpan piece = out.subspan(done, std::min(kRetryPiece, out.size() - done));
        if (!readFromLibrary(lane, diskOffset + static_cast<std::int64_t>(done), piece)) {
            std::memset(piece.data(), 0, piece.size());
            ok = false;
        }
    }
    return ok;
}

bool LibraryImageReader::readAt(std::int64_t diskOffset, MutableByteSpan out) const {
    if (out.empty()) return true;
    // The part past the end of the disk reads as zeros and fails the read;
    // the library fills the rest (failed pieces are zeroed where they fail).
    bool whole = false;
    const MutableByteSpan part = onDisk(diskSize_, diskOffset, out, whole);
    if (part.empty()) return false;

    const std::size_t lanes = std::min(lanes_, std::max<std::size_t>(1, part.size() / kMinLaneBytes));
    if (lanes == 1) {
        // A short read takes a free lane, so that readers on several threads do
        // not queue behind one handle.
        for (std::size_t lane = 1; lane < lanes_; ++lane) {
            std::unique_lock lock(*locks_[lane], std::try_to_lock);
            if (!lock) continue;
            lock.unlock();
            return readLane(lane, diskOffset, part) && whole;
        }
        return readLane(0, diskOffset, part) && whole;
    }
    // The lanes take pieces in turn until none is left.
    const bool allRead =
        workers_->runPieces(lanes, part.size(), kLanePiece, [&](std::size_t lane, std::size_t from, std::size_t n) {
            return readLane(lane, diskOffset + static_cast<std::int64_t>(from), part.subspan(from, n));
        });
    return whole && allRead;
}

}  // namespace tavrel
