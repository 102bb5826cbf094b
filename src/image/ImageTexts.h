// The user texts of opening an image, shared by every reader and the opener.
#pragma once

namespace tavrel::imagetexts {

// The file cannot be opened for reading (missing, not a file, no permission).
inline constexpr const char* kInvalidHandle = "Invalid handle.";
// The content is no image Tavrel reads, or its metadata does not hold together.
inline constexpr const char* kNotAnImage = "Not a valid vhd file";

}  // namespace tavrel::imagetexts
