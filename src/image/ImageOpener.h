// The one place that turns an image path into a reader. Regular files and block
// devices (opened read-only) are read; other file types are refused at once.
// The reader is chosen by the file's content, never its name: each known format
// has a content test, and a file no test claims is read as a raw disk when its
// length is a whole, non-zero number of 512-byte sectors.
#pragma once

#include <memory>
#include <string>

#include "image/readWriteInterface.h"

namespace tavrel {

enum class ImageError {
    None,
    NotFound,     // no file at the path
    NotAFile,     // neither a regular file nor a block device (a folder, a pipe)
    Unreadable,   // the file exists but cannot be opened or read
    NotAnImage,   // no format claims it and it is not whole sectors (or empty)
    Damaged,      // a format claims it but its metadata does not hold together
    Unsupported,  // a format claims it but this build lacks its library, or a variant is not read
    MissingCompanion,  // a file the image names (parent, segment, extent) is not where it may be
};

struct OpenedImage {
    std::unique_ptr<readWriteInterface> reader;  // null on failure
    ImageError error = ImageError::None;
    std::string message;                         // the user text on failure
    std::int64_t offset = -1;                    // the image file's byte offset at fault; -1 when none
    explicit operator bool() const { return reader != nullptr; }
};

// Opens the image at path read-only with the reader its content calls for.
OpenedImage openImage(const std::string& path);

}  // namespace tavrel
