#include "image/HostFile.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

namespace tavrel {

HostFile::~HostFile() { close(); }

HostFile::HostFile(HostFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

HostFile& HostFile::operator=(HostFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void HostFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool isImageFileType(unsigned mode) { return S_ISREG(mode) || S_ISBLK(mode); }

bool HostFile::openReadOnly(const std::string& path) { return openAs(path, false); }

bool HostFile::openRegularReadOnly(const std::string& path) { return openAs(path, true); }

bool HostFile::openAs(const std::string& path, bool regularOnly) {
    close();
    // O_NONBLOCK: opening a pipe must not wait for a writer; it is refused below.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) return false;
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !isImageFileType(st.st_mode) || (regularOnly && !S_ISREG(st.st_mode))) {
        close();
        return false;
    }
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close();
        return false;
    }
    return true;
}

std::int64_t HostFile::length() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return 0;
    if (S_ISBLK(st.st_mode)) {
        // A disk or partition device: its size comes from the kernel.
        std::uint64_t bytes = 0;
        if (::ioctl(fd_, BLKGETSIZE64, &bytes) != 0 || bytes > static_cast<std::uint64_t>(INT64_MAX)) return 0;
        return static_cast<std::int64_t>(bytes);
    }
    return static_cast<std::int64_t>(st.st_size);
}

std::int64_t HostFile::storedBytes() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return 0;
    if (!S_ISREG(st.st_mode)) return length();
    const auto blocks = static_cast<std::uint64_t>(st.st_blocks);
    return blocks > static_cast<std::uint64_t>(INT64_MAX) / 512 ? INT64_MAX : static_cast<std::int64_t>(blocks * 512);
}

bool HostFile::readAt(std::int64_t offset, MutableByteSpan out, std::size_t* got) const {
    std::size_t done = 0;
    bool ok = fd_ >= 0 && offset >= 0;
    while (ok && done < out.size()) {
        const ssize_t n = ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
        } else if (n == 0) {
            break;  // end of file
        } else {
            done += static_cast<std::size_t>(n);
        }
    }
    if (done < out.size()) std::memset(out.data() + done, 0, out.size() - done);
    if (got) *got = done;
    return ok;
}

}  // namespace tavrel
