#include "image/SiblingFile.h"

#include <algorithm>

namespace tavrel {

namespace fsys = std::filesystem;

NamedFile namedFileInside(const fsys::path& folder, const std::string& relative, fsys::path* resolved) {
    const fsys::path rel(relative);
    if (relative.empty() || rel.is_absolute() || rel.has_root_name() || rel.has_root_directory())
        return NamedFile::Outside;
    for (const auto& part : rel)
        if (part == "..") return NamedFile::Outside;
    std::error_code ec;
    const fsys::path base = fsys::canonical(folder, ec);
    if (ec) return NamedFile::Missing;
    const fsys::path target = fsys::canonical(base / rel, ec);
    if (ec) return NamedFile::Missing;
    const auto [b, t] = std::mismatch(base.begin(), base.end(), target.begin(), target.end());
    if (b != base.end() || t == target.end()) return NamedFile::Outside;
    if (!fsys::is_regular_file(target, ec)) return NamedFile::NotAFile;
    if (resolved) *resolved = target;
    return NamedFile::Ok;
}

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
    fsys::path resolved;
    if (namedFileInside(folder, name, &resolved) != NamedFile::Ok) return std::nullopt;
    return resolved;
}

fsys::path imageFolder(const std::string& imagePath) {
    std::error_code ec;
    fsys::path absolute = fsys::absolute(fsys::path(imagePath), ec);
    if (ec) absolute = fsys::path(imagePath);
    return absolute.parent_path();
}

}  // namespace tavrel
