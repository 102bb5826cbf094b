#include "image/FileReadSeekRaw.h"

#include "image/ImageTexts.h"

namespace tavrel {

bool FileReadSeekRaw::open(std::string path) {
    clearOutcome();
    diskSize_ = 0;
    if (!file_.openReadOnly(path)) return refuse(OpenResult::Unreadable, imagetexts::kInvalidHandle);
    fileLength = file_.length();
    if (fileLength <= 0) return refuse(OpenResult::Damaged, imagetexts::kNotAnImage, 0);
    diskSize_ = fileLength;
    return true;
}

bool FileReadSeekRaw::readAt(std::int64_t diskOffset, MutableByteSpan out) const {
    if (out.empty()) return true;
    // The part past the end of the disk reads as zeros and fails the read.
    bool whole = false;
    const MutableByteSpan part = onDisk(diskSize_, diskOffset, out, whole);
    if (part.empty()) return false;
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
