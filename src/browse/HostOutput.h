// The one place that creates host files and folders for saved entries.
//
// Everything is created relative to an open folder descriptor with names from
// safeName(), never through a path built from image names, so nothing can land
// outside the chosen output folder. Files are created with O_EXCL|O_NOFOLLOW: an
// existing file or a symbolic link planted in the output folder is never opened,
// followed or overwritten; the entry gets the next free name ("a (1).txt")
// instead. Two entries of one folder that map to the same host name (a deleted
// and a live "a.txt", or names that differ only in an unsafe character) get
// distinct names the same way. An existing real folder is reused, as the folder
// walk expects; its files are still never overwritten.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "fs/Parser.h"

namespace tavrel::browse {

// An owned file descriptor, closed on destruction.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept;
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes now; false (errno kept) when close reported an error.
    bool close();

private:
    int fd_ = -1;
};

// Bytes the file system holding an open descriptor can still take; nullopt
// when it cannot tell. hostFreeSpace asks statvfs; tests put their own.
using FreeSpaceQuery = std::function<std::optional<std::int64_t>(int fd)>;
std::optional<std::int64_t> hostFreeSpace(int fd);

// A new host file: the sink a parser's saveFile streams the content into.
// Skipped ranges become holes (the file's length is set when it is finished),
// so a sparse run of any claimed size takes no disk space.
class HostFile final : public fs::ByteSink {
public:
    HostFile(FileDescriptor fd, std::string name, std::string path, FreeSpaceQuery freeSpace = {})
        : fd_(std::move(fd)), name_(std::move(name)), path_(std::move(path)), freeSpace_(std::move(freeSpace)) {}

    bool write(ByteSpan bytes) override;
    bool skip(std::int64_t length) override;
    // False, with a message naming both sizes, when the host disk has less room.
    bool hasRoomFor(std::int64_t bytes) override;
    // Sets the length over a trailing hole and closes the file; false when a
    // write, the length or the close failed (see error()).
    bool finish();

    const std::string& name() const { return name_; }  // name inside its folder
    const std::string& path() const { return path_; }  // full host path, for texts
    const std::string& error() const { return error_; }
    std::int64_t bytesWritten() const { return written_; }

private:
    FileDescriptor fd_;
    std::string name_;
    std::string path_;
    std::string error_;
    FreeSpaceQuery freeSpace_;
    std::int64_t written_ = 0;  // bytes written with write()
    std::int64_t length_ = 0;   // the file's length so far, holes included
    bool holeAtEnd_ = false;    // the last range was skipped: finish() sets the length
};

// What happened to a name when it was placed in a folder.
struct Placement {
    std::string hostName;
    bool unsafe = false;     // the image name was replaced by a safe form
    bool renamed = false;    // the safe name was taken; a distinct name was chosen
    std::string error;       // non-empty when nothing could be created
};

// An open host folder that entries are saved into.
class HostFolder {
public:
    // Opens (creating it when missing, with its parents) the output folder the
    // user chose. nullptr and an error text when it cannot be used.
    static std::unique_ptr<HostFolder> openRoot(const std::filesystem::path& path, std::string& error);

    // A sub-folder for an image folder named imageName.
    std::unique_ptr<HostFolder> makeFolder(const std::string& imageName, Placement& placement);

    // A new file for an image file named imageName; nullopt when it could not be
    // created (placement.error says why).
    std::optional<HostFile> createFile(const std::string& imageName, Placement& placement);

    // Sets the access and modification times of the entry hostName inside this
    // folder (symbolic links are not followed). Missing times are left as they are.
    bool setTimes(const std::string& hostName, const fs::EntryTimes& times);

    const std::string& path() const { return path_; }
    std::string childPath(const std::string& hostName) const;

    // How files made in this folder and its sub-folders check free space
    // (hostFreeSpace unless set).
    void setFreeSpaceQuery(FreeSpaceQuery query) { freeSpace_ = std::move(query); }

    // A deep walk keeps few folders open: release() closes this folder's
    // descriptor, and reopenFrom(child) opens it again through the child's
    // ".." once the walk comes back. The reopened folder must be the same one
    // (device and inode); a folder moved away meanwhile is not used again.
    void release() { fd_.close(); }
    bool released() const { return !fd_.valid(); }
    bool reopenFrom(const HostFolder& child);

    // Wraps an open folder descriptor; use openRoot or makeFolder.
    HostFolder(FileDescriptor fd, std::string path);

private:
    FreeSpaceQuery freeSpace_ = hostFreeSpace;
    std::uint64_t device_ = 0;
    std::uint64_t inode_ = 0;
    FileDescriptor fd_;
    std::string path_;
    std::set<std::string> claimed_;  // names given out in this folder during this save
};

}  // namespace tavrel::browse
