#include "image/FileReadSeekRaw.h"

#include <cstring>

#include "image/ImageTexts.h"

namespace tavrel {

bool FileReadSeekRaw::open(std::string path) {
    lastError_.clear();
    diskSize_ = 0;
    if (!file_.openReadOnly(path)) {
        lastError_ = imagetexts::kInvalidHandle;
        return false;
    }
    fileLength = file_.length();
    if (fileLength <= 0) {
        lastError_ = imagetexts::kNotAnImage;
        return false;
    }
    diskSize_ = fileLength;
    return true;
}

bool FileReadSeekRaw::readAt(std::int64_t diskOffset, MutableByteSpan out) const {
    if (out.empty()) return true;
    if (diskOffset < 0 || diskOffset >= diskSize_) {
        std::memset(out.data(), 0, out.size());
        return false;
    }
    // The part past the end of the disk reads as zeros and fails the read.
    const auto avail = static_cast<std::uint64_t>(diskSize_ - diskOffset);
    const bool whole = avail >= out.size();
    const MutableByteSpan part = whole ? out : out.first(static_cast<std::size_t>(avail));
    if (!whole) std::memset(out.data() + part.size(), 0, out.size() - part.size());
    std::size_t got = 0;
    const bool ok = file_.readAt(diskOffset, part, &got);
    // A file that shrank since open reads as zeros past its new end.
    return whole && ok && got == part.size();
}

ImageInfo FileReadSeekRaw::describe() const {
    ImageInfo info = readWriteInterface::describe();
    info.format = "raw";
    return info;
}

}  // namespace tavrel
