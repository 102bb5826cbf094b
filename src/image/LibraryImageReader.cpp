#include "image/LibraryImageReader.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
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
    // The lanes take pieces in turn until none is left, so that a lane whose
    // pieces decode fast does not wait for a slower one.
    const std::size_t pieces = (part.size() + kLanePiece - 1) / kLanePiece;
    std::atomic<std::size_t> nextPiece{0};
    std::atomic<bool> allRead{true};
    const std::function<void(std::size_t)> work = [&](std::size_t lane) {
        if (lane >= lanes) return;
        for (std::size_t i = nextPiece++; i < pieces; i = nextPiece++) {
            const std::size_t from = i * kLanePiece;
            const MutableByteSpan piece = part.subspan(from, std::min(kLanePiece, part.size() - from));
            if (!readLane(lane, diskOffset + static_cast<std::int64_t>(from), piece)) allRead = false;
        }
    };
    workers_->run(work);
    return whole && allRead;
}

}  // namespace tavrel
