#include "image/ImageOpener.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <new>

#include "image/FileReadSeekRaw.h"
#include "image/HostFile.h"
#include "image/ImageFormats.h"
#include "image/ImageTexts.h"

namespace tavrel {

namespace {

OpenedImage failure(ImageError error, std::string message, std::int64_t offset = -1) {
    return {nullptr, error, std::move(message), offset};
}

ImageError errorOf(OpenResult result) {
    switch (result) {
        case OpenResult::Opened: return ImageError::None;
        case OpenResult::Unreadable: return ImageError::Unreadable;
        case OpenResult::Damaged: return ImageError::Damaged;
        case OpenResult::Unsupported: return ImageError::Unsupported;
        case OpenResult::MissingCompanion: return ImageError::MissingCompanion;
    }
    return ImageError::Damaged;
}

// The first and last few KiB of the file; false when they cannot be read.
bool readProbe(const HostFile& file, ImageProbe& probe) {
    probe.length = file.length();
    const auto window = static_cast<std::size_t>(std::min<std::int64_t>(probe.length, ImageProbe::kWindow));
    probe.head.resize(window);
    probe.tail.resize(window);
    std::size_t gotHead = 0;
    std::size_t gotTail = 0;
    return file.readAt(0, probe.head, &gotHead) && gotHead == window &&
           file.readAt(probe.length - static_cast<std::int64_t>(window), probe.tail, &gotTail) && gotTail == window;
}

OpenedImage openWith(std::unique_ptr<readWriteInterface> reader, const std::string& path) {
    try {
        if (reader->open(path)) return {std::move(reader), ImageError::None, {}};
    } catch (const std::bad_alloc&) {
        // Tables are bounded by what the file stores, but a machine may still hold less.
        return failure(ImageError::Damaged, imagetexts::kOutOfMemoryText);
    }
    const OpenOutcome& outcome = reader->openOutcome();
    // A reader that refuses without a kind (none should) counts as finding damage.
    const ImageError error = outcome.ok() ? ImageError::Damaged : errorOf(outcome.result);
    return failure(error, outcome.text.empty() ? std::string(imagetexts::kNotAnImage) : outcome.text, outcome.offset);
}

}  // namespace

OpenedImage openImage(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return failure(ImageError::NotFound, imagetexts::kInvalidHandle);
        return failure(ImageError::Unreadable, imagetexts::kInvalidHandle);
    }
    if (!isImageFileType(st.st_mode)) return failure(ImageError::NotAFile, imagetexts::kInvalidHandle);

    HostFile file;
    if (!file.openReadOnly(path)) return failure(ImageError::Unreadable, imagetexts::kInvalidHandle);
    ImageProbe probe;
    if (!readProbe(file, probe)) return failure(ImageError::Unreadable, imagetexts::kInvalidHandle);

    for (const ImageFormat& format : imageFormats()) {
        if (!format.probe(probe)) continue;
        if (!format.make) return failure(ImageError::Unsupported, imagetexts::formatOff(format.name));
        return openWith(format.make(), path);
    }
    if (looksLikeRawDisk(probe)) return openWith(std::make_unique<FileReadSeekRaw>(), path);
    return failure(ImageError::NotAnImage, imagetexts::kNotAnImage);
}

}  // namespace tavrel
