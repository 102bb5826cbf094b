// The one rule for files an image names (VMDK extents, differencing parents,
// qcow2 backing files, E01 segments): a regular file inside the image's own
// folder once symbolic links are resolved. An absolute name, ".." or a link that
// leads out of the folder, and devices, pipes and folders, are never read: an
// image must not make Tavrel read files it does not contain.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tavrel {

enum class NamedFile {
    Ok,
    Outside,   // absolute, "..", or resolves to a place outside the folder
    Missing,   // nothing there (or a link to nothing)
    NotAFile,  // inside the folder but not a regular file (a device, a pipe, a folder)
};

// Checks `relative` (a path relative to folder, as a VMDK descriptor records
// it) against the rule; on Ok, *resolved is the file's canonical path.
NamedFile namedFileInside(const std::filesystem::path& folder, const std::string& relative,
                          std::filesystem::path* resolved);

// The last component of a recorded name, split at '/' and '\\'; empty when it
// has none or it is "." or "..".
std::string recordedFileName(const std::string& recorded);

// A file an image records by name (a parent, a backing file): only the last
// component of the recorded name counts, looked for in the image's own folder;
// its canonical path when it passes namedFileInside.
std::optional<std::filesystem::path> fileBeside(const std::filesystem::path& folder, const std::string& recorded);

// The folder of an image path (made absolute).
std::filesystem::path imageFolder(const std::string& imagePath);

}  // namespace tavrel
