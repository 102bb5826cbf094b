// Finds a file an image names (a differencing image's parent, a backing file)
// beside the image: only the last component of the recorded name counts, looked
// for in the image's own folder. A recorded absolute path, a Windows path or one
// with ".." never leads outside that folder.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tavrel {

// The last component of a recorded name, split at '/' and '\\'; empty when it
// has none or it is "." or "..".
std::string recordedFileName(const std::string& recorded);

// folder/recordedFileName(recorded) when that is an existing regular file.
std::optional<std::filesystem::path> fileBeside(const std::filesystem::path& folder, const std::string& recorded);

// The folder of an image path (made absolute).
std::filesystem::path imageFolder(const std::string& imagePath);

}  // namespace tavrel
