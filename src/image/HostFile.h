// Read-only host file with positioned reads (RAII over a POSIX descriptor).
#pragma once

#include <cstdint>
#include <string>

#include "util/Bytes.h"

namespace tavrel {

class HostFile {
public:
    HostFile() = default;
    ~HostFile();
    HostFile(const HostFile&) = delete;
    HostFile& operator=(const HostFile&) = delete;
    HostFile(HostFile&& other) noexcept;
    HostFile& operator=(HostFile&& other) noexcept;

    // Opens for reading only; false when the file cannot be opened.
    bool openReadOnly(const std::string& path);
    bool isOpen() const { return fd_ >= 0; }
    std::int64_t length() const;

    // Reads exactly out.size() bytes at offset; bytes past the end of the file are
    // zero-filled and reported in *got (bytes really read). False on an I/O error.
    bool readAt(std::int64_t offset, MutableByteSpan out, std::size_t* got = nullptr) const;

private:
    void close();
    int fd_ = -1;
};

}  // namespace tavrel
