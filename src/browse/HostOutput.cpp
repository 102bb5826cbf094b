#include "browse/HostOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <system_error>

#include "browse/SafeName.h"

namespace tavrel::browse {

namespace {

// How many numbered alternatives ("a (1).txt" ...) are tried before giving up.
constexpr unsigned kMaxAlternatives = 10000;

std::string errnoText(int err) { return std::system_category().message(err); }

// Errors by which a host file system refuses a name itself; the entry is then
// tried once more under its plain ASCII form.
bool nameRefused(int err) { return err == EINVAL || err == EILSEQ || err == ENAMETOOLONG; }

timespec toTimespec(const std::optional<fs::TimePoint>& t) {
    timespec ts{};
    if (!t) {
        ts.tv_nsec = UTIME_OMIT;
        return ts;
    }
    ts.tv_sec = static_cast<time_t>(t->seconds);
    ts.tv_nsec = static_cast<long>(t->nanoseconds % 1000000000u);
    return ts;
}

}  // namespace

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
}

FileDescriptor::FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

bool FileDescriptor::close() {
    if (fd_ < 0) return true;
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
}

bool HostFile::write(ByteSpan bytes) {
    if (!error_.empty()) return false;
    if (!fd_.valid()) {
        error_ = "file is closed";
        return false;
    }
    std::size_t done = 0;
    // Each pass writes at least one byte or ends the loop with an error.
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error_ = n < 0 ? errnoText(errno) : "nothing written";
            return false;
        }
        done += static_cast<std::size_t>(n);
        written_ += n;
        length_ += n;
    }
    holeAtEnd_ = holeAtEnd_ && bytes.empty();
    return true;
}

bool HostFile::skip(std::int64_t length) {
    if (!error_.empty()) return false;
    if (length <= 0) return true;
    if (length_ > std::numeric_limits<std::int64_t>::max() - length ||
        ::lseek(fd_.get(), static_cast<off_t>(length), SEEK_CUR) < 0) {
        error_ = "the host file system cannot hold a file of this length";
        return false;
    }
    length_ += length;
    holeAtEnd_ = true;
    return true;
}

bool HostFile::hasRoomFor(std::int64_t bytes) {
    const std::optional<std::int64_t> free = freeSpace_ ? freeSpace_(fd_.get()) : std::nullopt;
    if (!free || *free >= bytes) return true;
    error_ = "the host disk cannot hold it: " + std::to_string(bytes) + " bytes to write, " + std::to_string(*free) +
             " bytes free";
    return false;
}

std::optional<std::int64_t> hostFreeSpace(int fd) {
    struct statvfs st {};
    if (::fstatvfs(fd, &st) != 0) return std::nullopt;
    // Blocks kept for the superuser count when running as the superuser.
    const auto blocks = ::geteuid() == 0 ? st.f_bfree : st.f_bavail;
    const auto unit = static_cast<std::uint64_t>(st.f_frsize ? st.f_frsize : st.f_bsize);
    if (unit != 0 && blocks > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) / unit)
        return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(blocks * unit);
}

bool HostFile::finish() {
    if (!fd_.valid()) return error_.empty();
    // A file that ends in a hole gets its length here; nothing is written for it.
    if (error_.empty() && holeAtEnd_ && ::ftruncate(fd_.get(), static_cast<off_t>(length_)) != 0)
        error_ = "the file's length could not be set: " + errnoText(errno);
    if (!fd_.close() && error_.empty()) error_ = errnoText(errno);
    return error_.empty();
}

HostFolder::HostFolder(FileDescriptor fd, std::string path) : fd_(std::move(fd)), path_(std::move(path)) {
    struct stat st {};
    if (fd_.valid() && ::fstat(fd_.get(), &st) == 0) {
        device_ = static_cast<std::uint64_t>(st.st_dev);
        inode_ = static_cast<std::uint64_t>(st.st_ino);
    }
}

bool HostFolder::reopenFrom(const HostFolder& child) {
    if (fd_.valid()) return true;
    if (!child.fd_.valid()) return false;
    FileDescriptor up(::openat(child.fd_.get(), "..", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!up.valid() || ::fstat(up.get(), &st) != 0 || static_cast<std::uint64_t>(st.st_dev) != device_ ||
        static_cast<std::uint64_t>(st.st_ino) != inode_)
        return false;
    fd_ = std::move(up);
    return true;
}

std::unique_ptr<HostFolder> HostFolder::openRoot(const std::filesystem::path& path, std::string& error) {
    if (path.empty()) {
        error = "no output folder given";
        return nullptr;
    }
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = path.string() + ": " + errnoText(errno);
        return nullptr;
    }
    std::string shown = path.string();
    while (shown.size() > 1 && shown.back() == '/') shown.pop_back();
    return std::make_unique<HostFolder>(FileDescriptor(fd), shown);
}

std::string HostFolder::childPath(const std::string& hostName) const {
    return path_ == "/" ? "/" + hostName : path_ + "/" + hostName;
}

std::unique_ptr<HostFolder> HostFolder::makeFolder(const std::string& imageName, Placement& placement) {
    HostName safe = safeName(imageName);
    placement = Placement{};
    placement.unsafe = safe.changed;
    int lastError = 0;
    bool fellBack = false;
    for (unsigned n = 0; n <= kMaxAlternatives; ++n) {
        const std::string candidate = n == 0 ? safe.name : distinctName(safe.name, n);
        if (claimed_.count(candidate)) continue;
        bool created = true;
        if (::mkdirat(fd_.get(), candidate.c_str(), 0755) != 0) {
            if (nameRefused(errno) && !fellBack) {
                fellBack = true;
                safe.name = asciiFallbackName(safe.name);
                placement.unsafe = true;
                n = static_cast<unsigned>(-1);  // start again with the plain name
                continue;
            }
            if (errno != EEXIST) {
                placement.error = childPath(candidate) + ": " + errnoText(errno);
                return nullptr;
            }
            created = false;
        }
        // O_NOFOLLOW: a symbolic link planted under this name is not followed.
        const int fd = ::openat(fd_.get(), candidate.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            lastError = errno;
            if (created) {
                placement.error = childPath(candidate) + ": " + errnoText(errno);
                return nullptr;
            }
            continue;  // an existing file or link has this name: try the next one
        }
        claimed_.insert(candidate);
        placement.hostName = candidate;
        placement.renamed = n != 0;
        auto child = std::make_unique<HostFolder>(FileDescriptor(fd), childPath(candidate));
        child->freeSpace_ = freeSpace_;
        return child;
    }
    placement.error = childPath(safe.name) + ": no free name" + (lastError ? " (" + errnoText(lastError) + ")" : "");
    return nullptr;
}

std::optional<HostFile> HostFolder::createFile(const std::string& imageName, Placement& placement) {
    HostName safe = safeName(imageName);
    placement = Placement{};
    placement.unsafe = safe.changed;
    bool fellBack = false;
    for (unsigned n = 0; n <= kMaxAlternatives; ++n) {
        const std::string candidate = n == 0 ? safe.name : distinctName(safe.name, n);
        if (claimed_.count(candidate)) continue;
        // O_EXCL also refuses an existing symbolic link, dangling or not.
        const int fd = ::openat(fd_.get(), candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                0644);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            if (nameRefused(errno) && !fellBack) {
                fellBack = true;
                safe.name = asciiFallbackName(safe.name);
                placement.unsafe = true;
                n = static_cast<unsigned>(-1);  // start again with the plain name
                continue;
            }
            placement.error = childPath(candidate) + ": " + errnoText(errno);
            return std::nullopt;
        }
        claimed_.insert(candidate);
        placement.hostName = candidate;
        placement.renamed = n != 0;
        return HostFile(FileDescriptor(fd), candidate, childPath(candidate), freeSpace_);
    }
    placement.error = childPath(safe.name) + ": no free name";
    return std::nullopt;
}

bool HostFolder::setTimes(const std::string& hostName, const fs::EntryTimes& times) {
    if (!times.accessed && !times.modified) return true;
    const timespec ts[2] = {toTimespec(times.accessed), toTimespec(times.modified)};
    return ::utimensat(fd_.get(), hostName.c_str(), ts, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace tavrel::browse
