// Files an image consists of that are opened on demand: an image may name
// thousands of files (VMDK extents), more than a process may hold open. The pool
// keeps at most a few of them open, the most recently used; a file in use stays
// open until its user lets go, so reads from several threads are safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "image/HostFile.h"

namespace tavrel {

class FilePool {
public:
    static constexpr std::size_t kDefaultOpen = 16;
    explicit FilePool(std::size_t maxOpen = kDefaultOpen) : maxOpen_(maxOpen < 1 ? 1 : maxOpen) {}

    // The file at path (a regular file), open for reading; null when it cannot be
    // opened now.
    std::shared_ptr<const HostFile> get(const std::string& path) const;

private:
    std::size_t maxOpen_;
    mutable std::mutex lock_;
    mutable std::list<std::pair<std::string, std::shared_ptr<const HostFile>>> open_;  // most recent first
};

// One file of an image: either held open for the image's life, or reopened
// through a pool whenever it is read.
class ImagePart {
public:
    ImagePart() = default;
    // Held open.
    explicit ImagePart(HostFile file);
    // Read through the pool; `length` is the file's length when it was checked.
    ImagePart(std::shared_ptr<const FilePool> pool, std::string path, std::int64_t length);

    std::int64_t length() const { return length_; }
    // As HostFile::readAt; false (out zero-filled) when the file cannot be opened.
    bool readAt(std::int64_t offset, MutableByteSpan out, std::size_t* got = nullptr) const;
    // The open file for a one-off use; null when it cannot be opened.
    std::shared_ptr<const HostFile> file() const;

private:
    std::shared_ptr<const HostFile> held_;
    std::shared_ptr<const FilePool> pool_;
    std::string path_;
    std::int64_t length_ = 0;
};

}  // namespace tavrel
