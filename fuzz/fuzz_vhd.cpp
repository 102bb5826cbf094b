// Fuzzes the VHD reader: the input becomes an image file, is opened, and read
// at a few positions, including across block boundaries and past the end.
//
// The file is an anonymous memory file made once and rewritten for each input:
// no file system work per input beyond the reader's own open.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/FileReadSeekVHD.h"

namespace {

class MemoryFile {
public:
    MemoryFile() : fd_(::memfd_create("tavrel-fuzz-vhd-input", 0)) {
        if (fd_ < 0) std::abort();
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~MemoryFile() { ::close(fd_); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    // The file's content becomes exactly `size` bytes of `data`.
    bool replace(const std::uint8_t* data, std::size_t size) const {
        if (::ftruncate(fd_, 0) != 0) return false;
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }
    const std::string& path() const { return path_; }

private:
    int fd_;
    std::string path_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const MemoryFile file;
    static std::vector<std::uint8_t> buf(64 * 1024);
    if (!file.replace(data, size)) return 0;
    tavrel::FileReadSeekVHD reader;
    if (!reader.open(file.path())) return 0;
    const std::int64_t disk = reader.diskSize();
    for (std::int64_t pos : {std::int64_t{0}, disk / 2 - 700, disk - 512, disk - 100, disk, disk + 4096}) {
        reader.readAt(pos, buf);
        reader.seek(pos, 0);
        reader.read(buf.data(), 1536);
        reader.nextStored(pos);
    }
    return 0;
}
