#include "image/SiblingFile.h"

namespace tavrel {

namespace fsys = std::filesystem;

std::string recordedFileName(const std::string& recorded) {
    const auto slash = recorded.find_last_of("/\\");
    std::string name = slash == std::string::npos ? recorded : recorded.substr(slash + 1);
    // Names recorded by Windows tools may carry a drive ("C:parent.vhdx").
    if (const auto colon = name.find_last_of(':'); colon != std::string::npos) name = name.substr(colon + 1);
    if (name == "." || name == "..") return {};
    return name;
}

std::optional<fsys::path> fileBeside(const fsys::path& folder, const std::string& recorded) {
    const std::string name = recordedFileName(recorded);
    if (name.empty()) return std::nullopt;
    const fsys::path candidate = folder / name;
    std::error_code ec;
    if (!fsys::is_regular_file(candidate, ec)) return std::nullopt;
    return candidate;
}

fsys::path imageFolder(const std::string& imagePath) {
    std::error_code ec;
    fsys::path absolute = fsys::absolute(fsys::path(imagePath), ec);
    if (ec) absolute = fsys::path(imagePath);
    return absolute.parent_path();
}

}  // namespace tavrel
