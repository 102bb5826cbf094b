// The user texts of opening an image, shared by every reader and the opener.
#pragma once

#include <cstdint>
#include <string>

namespace tavrel::imagetexts {

// The file cannot be opened for reading (missing, not a file, no permission).
inline constexpr const char* kInvalidHandle = "Invalid handle.";
// The file opened but the host failed to read it where the image's metadata lies.
inline std::string unreadableAt(std::int64_t offset) {
    return "The image file cannot be read at byte offset " + std::to_string(offset) + ".";
}
// The content is no image Tavrel reads, or its metadata does not hold together.
inline constexpr const char* kNotAnImage = "Not a valid vhd file";

// Opening the image ran out of memory (its tables claim more than can be held).
inline constexpr const char* kOutOfMemoryText = "There is not enough memory to read the tables of this image.";

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

// A segment of an E01 image that the set needs but the folder lacks (named as
// the set names it), or one that is no regular file inside the image's folder.
inline std::string e01SegmentMissing(const std::string& name) {
    return "The segment file \"" + name + "\" of this E01 image is missing.";
}
inline std::string e01SegmentRefused(const std::string& name) {
    return "The segment file \"" + name + "\" of this E01 image is not a regular file inside the image's folder.";
}

// A differencing image whose parent is not a file beside it (parents are looked
// for in the image's own folder only).
inline std::string parentNotBeside(const std::string& format, const std::string& name) {
    return "The parent image \"" + name + "\" of this " + format + " image is not in the image's folder.";
}
// The parent is there but cannot be read as the image's parent.
inline std::string parentUnreadable(const std::string& format, const std::string& name) {
    return "The parent image \"" + name + "\" of this " + format + " image cannot be read.";
}
// An extent file a VMDK descriptor names, refused or unreadable. Extent files
// must be regular files inside the descriptor's folder.
inline std::string vmdkExtentText(const std::string& name, const char* what) {
    return "The extent file \"" + name + "\" of this vmdk image " + what + ".";
}
inline std::string vmdkExtentOutside(const std::string& name) {
    return vmdkExtentText(name, "lies outside the image's folder");
}
inline std::string vmdkExtentMissing(const std::string& name) { return vmdkExtentText(name, "cannot be found"); }
inline std::string vmdkExtentNotAFile(const std::string& name) { return vmdkExtentText(name, "is not a regular file"); }
inline std::string vmdkExtentUnopenable(const std::string& name) { return vmdkExtentText(name, "cannot be opened"); }
inline std::string vmdkExtentDamaged(const std::string& name) { return vmdkExtentText(name, "is damaged"); }
// A descriptor naming extents of a type Tavrel does not read (VMFS, SESPARSE, ...).
inline std::string vmdkExtentTypeUnread(const std::string& type) {
    return "This vmdk image uses extents of type " + type + ", which Tavrel does not read.";
}

// The file carries a format's signature but this build was made without its library.
inline std::string formatOff(const std::string& format) {
    return "This build of Tavrel does not read " + format + " images.";
}

}  // namespace tavrel::imagetexts
