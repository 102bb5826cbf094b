#include "image/LibraryImageReader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

namespace tavrel {

bool LibraryImageReader::fail(std::string text) {
    lastError_ = std::move(text);
    diskSize_ = 0;
    return false;
}

bool LibraryImageReader::readAt(std::int64_t diskOffset, MutableByteSpan out) const {
    if (out.empty()) return true;
    std::memset(out.data(), 0, out.size());
    if (diskOffset < 0 || diskOffset >= diskSize_) return false;
    // The part past the end of the disk stays zero and fails the read.
    const auto avail = static_cast<std::uint64_t>(diskSize_ - diskOffset);
    bool ok = avail >= out.size();
    const MutableByteSpan part = ok ? out : out.first(static_cast<std::size_t>(avail));

    const std::lock_guard lock(mutex_);
    if (readFromLibrary(diskOffset, part)) return ok;
    for (std::size_t done = 0; done < part.size(); done += kRetryPiece) {
        const MutableByteSpan piece = part.subspan(done, std::min(kRetryPiece, part.size() - done));
        if (!readFromLibrary(diskOffset + static_cast<std::int64_t>(done), piece)) {
            std::memset(piece.data(), 0, piece.size());
            ok = false;
        }
    }
    return ok;
}

std::int64_t hostFileLength(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    return static_cast<std::int64_t>(st.st_size);
}

}  // namespace tavrel
