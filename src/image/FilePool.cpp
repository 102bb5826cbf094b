#include "image/FilePool.h"

#include <algorithm>
#include <cstring>

namespace tavrel {

std::shared_ptr<const HostFile> FilePool::get(const std::string& path) const {
    const std::lock_guard guard(lock_);
    const auto it = std::find_if(open_.begin(), open_.end(), [&](const auto& entry) { return entry.first == path; });
    if (it != open_.end()) {
        open_.splice(open_.begin(), open_, it);
        return open_.front().second;
    }
    auto file = std::make_shared<HostFile>();
    if (!file->openRegularReadOnly(path)) return nullptr;
    open_.emplace_front(path, file);
    if (open_.size() > maxOpen_) open_.pop_back();
    return file;
}

ImagePart::ImagePart(HostFile file) : length_(file.length()) {
    held_ = std::make_shared<const HostFile>(std::move(file));
}

ImagePart::ImagePart(std::shared_ptr<const FilePool> pool, std::string path, std::int64_t length)
    : pool_(std::move(pool)), path_(std::move(path)), length_(length) {}

std::shared_ptr<const HostFile> ImagePart::file() const {
    if (held_) return held_;
    return pool_ ? pool_->get(path_) : nullptr;
}

bool ImagePart::readAt(std::int64_t offset, MutableByteSpan out, std::size_t* got) const {
    const auto f = file();
    if (!f) {
        if (!out.empty()) std::memset(out.data(), 0, out.size());
        if (got) *got = 0;
        return false;
    }
    return f->readAt(offset, out, got);
}

}  // namespace tavrel
