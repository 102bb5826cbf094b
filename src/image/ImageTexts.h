// The user texts of opening an image, shared by every reader and the opener.
#pragma once

#include <string>

namespace tavrel::imagetexts {

// The file cannot be opened for reading (missing, not a file, no permission).
inline constexpr const char* kInvalidHandle = "Invalid handle.";
// The content is no image Tavrel reads, or its metadata does not hold together.
inline constexpr const char* kNotAnImage = "Not a valid vhd file";

// Images read through a library: the library refused the file (damaged, cut
// short, or a variant it does not read).
inline constexpr const char* kNotVhdxText = "Please select valid vhdx file to continue the recovery process.";
inline constexpr const char* kNotQcowText = "Please select valid qcow2 file to continue the recovery process.";
inline constexpr const char* kNotE01Text = "Please select valid E01 file to continue the recovery process.";
inline constexpr const char* kEncryptedQcowText =
    "This qcow2 image is encrypted: only unencrypted qcow2 images are read.";
inline constexpr const char* kE01SegmentsText =
    "The segment files of this E01 image are incomplete or damaged: keep every segment (.E01, .E02, ...) "
    "in one folder under its original name.";

// A differencing image whose parent is not a file beside it (parents are looked
// for in the image's own folder only).
inline std::string parentNotBeside(const std::string& format, const std::string& name) {
    return "The parent image \"" + name + "\" of this " + format + " image is not in the image's folder.";
}
// The parent is there but cannot be read as the image's parent.
inline std::string parentUnreadable(const std::string& format, const std::string& name) {
    return "The parent image \"" + name + "\" of this " + format + " image cannot be read.";
}
// The file carries a format's signature but this build was made without its library.
inline std::string formatOff(const std::string& format) {
    return "This build of Tavrel does not read " + format + " images.";
}

}  // namespace tavrel::imagetexts
