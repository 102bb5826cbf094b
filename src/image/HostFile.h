// Read-only host file with positioned reads (RAII over a POSIX descriptor).
// Regular files and block devices (a whole disk or a partition) are images;
// anything else (a folder, a pipe, a terminal) is refused, never waited on.
#pragma once

#include <cstdint>
#include <string>

#include "util/Bytes.h"

namespace tavrel {

// True for the file types read as images: regular files and block devices.
bool isImageFileType(unsigned mode);

class HostFile {
public:
    HostFile() = default;
    ~HostFile();
    HostFile(const HostFile&) = delete;
    HostFile& operator=(const HostFile&) = delete;
    HostFile(HostFile&& other) noexcept;
    HostFile& operator=(HostFile&& other) noexcept;

    // Opens for reading only; false when the file cannot be opened or is of
    // another type than isImageFileType accepts.
    bool openReadOnly(const std::string& path);
    // The same for a file an image names: regular files only, never a device.
    bool openRegularReadOnly(const std::string& path);
    bool isOpen() const { return fd_ >= 0; }
    std::int64_t length() const;
    // Bytes the host really stores for the file (a sparse file stores less than
    // its length); the length for a device.
    std::int64_t storedBytes() const;

    // Reads exactly out.size() bytes at offset; bytes past the end of the file are
    // zero-filled and reported in *got (bytes really read). False on an I/O error.
    bool readAt(std::int64_t offset, MutableByteSpan out, std::size_t* got = nullptr) const;

private:
    void close();
    bool openAs(const std::string& path, bool regularOnly);
    int fd_ = -1;
};

}  // namespace tavrel
