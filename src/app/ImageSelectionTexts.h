// Texts of the image selection page beyond the request for a valid file: the
// second line that says why a path is no image.
#pragma once

#include <cstdint>
#include <string>

namespace tavrel::app::texts {

inline constexpr const char* kPathIsFolder = "This path is a folder: choose the image file inside it.";
inline constexpr const char* kPathIsNoFile = "This path is neither a regular file nor a disk device.";
inline constexpr const char* kFileIsEmpty = "The file is empty.";
inline std::string noImageReason(std::uintmax_t length) {
    return "No image format recognises its content, and its length (" + std::to_string(length) +
           " bytes) is not a whole number of 512-byte sectors, as a raw disk's is.";
}

}  // namespace tavrel::app::texts
