#include "volume/DiskExport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

namespace tavrel {

namespace {

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool allZero(const std::uint8_t* p, std::size_t n) {
    return n == 0 || (p[0] == 0 && std::memcmp(p, p + 1, n - 1) == 0);
}

// Asks for writes that go straight to the device, past the page cache: the
// export writes each byte once and never reads it back, so copying it into
// the cache (and flushing it later) only costs time. False where the file
// system does not take such writes; the file then stays as it was.
bool writeDirect(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_DIRECT) == 0;
}

// Back to writes through the page cache.
bool writeCached(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && (flags & O_DIRECT) != 0 && ::fcntl(fd, F_SETFL, flags & ~O_DIRECT) == 0;
}

// Writes all of [p, p+n) at offset; errno tells why when false. A direct
// write the file system refuses for its size or alignment (the disk's last
// piece may be shorter than a device block) is done through the page cache.
bool writeAll(int fd, const std::uint8_t* p, std::size_t n, std::int64_t offset) {
    while (n > 0) {
        const ssize_t w = ::pwrite(fd, p, n, offset);
        if (w < 0) {
            if (errno == EINTR) continue;
            if (errno == EINVAL && writeCached(fd)) continue;
            return false;
        }
        if (w == 0) {
            errno = ENOSPC;
            return false;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
        offset += w;
    }
    return true;
}

// Writes the stretches of [p, p+n) that hold data; every all-zero block of
// kHoleBytes (offset aligned, as chunks are) is skipped and stays a hole of the
// output, which has its full length already.
bool writeData(int fd, const std::uint8_t* p, std::size_t n, std::int64_t offset) {
    constexpr std::size_t kHoleBytes = 4096;
    const auto zeroBlock = [&](std::size_t at) { return allZero(p + at, std::min(kHoleBytes, n - at)); };
    for (std::size_t at = 0; at < n;) {
        while (at < n && zeroBlock(at)) at += std::min(kHoleBytes, n - at);
        std::size_t end = at;
        while (end < n && !zeroBlock(end)) end += std::min(kHoleBytes, n - end);
        if (end > at && !writeAll(fd, p + at, end - at, offset + static_cast<std::int64_t>(at))) return false;
        at = end;
    }
    return true;
}

// "N MB of T MB or n GB of t GB Saved".
std::string savedText(std::int64_t done, std::int64_t total) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "%lld MB of %lld MB or %f GB of %f GB Saved", static_cast<long long>(done / 1048576),
                  static_cast<long long>(total / 1048576), static_cast<double>(done) / 1073741824.0,
                  static_cast<double>(total) / 1073741824.0);
    return buf;
}

ExportOutcome failWrite(int error, std::int64_t written) {
    if (error == ENOSPC || error == EDQUOT) return {ExportOutcome::Kind::NoSpace, DiskExport::kNoSpaceText, written};
    return {ExportOutcome::Kind::WriteError, "Error " + std::to_string(error) + " while writing in File", written};
}

// A chunk buffer on a page boundary, freed with its owner.
class AlignedBuffer {
public:
    static constexpr std::size_t kAlign = 4096;
    explicit AlignedBuffer(std::size_t bytes)
        : data_(static_cast<std::uint8_t*>(std::aligned_alloc(kAlign, (bytes + kAlign - 1) / kAlign * kAlign))) {}
    std::uint8_t* data() const { return data_.get(); }

private:
    struct Free {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<std::uint8_t, Free> data_;
};

// What one chunk's read gave: unallocated chunks are not read at all.
struct ChunkRead {
    bool unallocated = false;
    bool ok = true;
    int error = 0;
};

ChunkRead readChunk(const readWriteInterface& reader, std::int64_t offset, std::uint8_t* data, std::size_t length) {
    ChunkRead result;
    // Unallocated blocks are zeros: left as holes without being read.
    result.unallocated = reader.isUnallocated(offset, static_cast<std::int64_t>(length));
    if (result.unallocated) return result;
    errno = 0;
    if (!reader.readAt(offset, MutableByteSpan(data, length))) {
        result.ok = false;
        result.error = errno != 0 ? errno : EIO;
    }
    return result;
}

// One thread reads the next chunk while the caller writes the current one. It
// lives for the whole export: a thread started per chunk made the scheduler
// move the image readers' own lane threads about, which cost compressed images
// a third of their read speed.
class ReadAhead {
public:
    explicit ReadAhead(const readWriteInterface& reader) : reader_(reader) {}

    // Starts reading [at, at+length) into data; the previous read has ended.
    void start(std::int64_t at, std::uint8_t* data, std::size_t length) {
        const std::lock_guard lock(mutex_);
        job_ = {at, data, length};
        hasJob_ = true;
        finished_ = false;
        wake_.notify_all();
    }
    // Waits for the read start() began.
    ChunkRead wait() {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return finished_; });
        return result_;
    }

private:
    struct Job {
        std::int64_t at = 0;
        std::uint8_t* data = nullptr;
        std::size_t length = 0;
    };
    void loop(std::stop_token stop) {
        std::unique_lock lock(mutex_);
        while (wake_.wait(lock, stop, [this] { return hasJob_; })) {
            const Job job = job_;
            hasJob_ = false;
            lock.unlock();
            const ChunkRead got = readChunk(reader_, job.at, job.data, job.length);
            lock.lock();
            result_ = got;
            finished_ = true;
            wake_.notify_all();
        }
    }

    const readWriteInterface& reader_;
    std::mutex mutex_;
    std::condition_variable_any wake_;
    Job job_;
    bool hasJob_ = false;
    bool finished_ = false;
    ChunkRead result_;
    std::jthread thread_{[this](std::stop_token stop) { loop(std::move(stop)); }};  // last: stopped and joined first
};

}  // namespace

std::string DiskExport::outputPathFor(const std::string& imagePath, const std::string& folder) {
    std::string dir = folder.empty() ? "./" : folder;
    if (dir.back() != '/') dir += '/';
    const auto slash = imagePath.find_last_of('/');
    std::string name = slash == std::string::npos ? imagePath : imagePath.substr(slash + 1);
    name = name.empty() ? kDefaultName : name + ".img";
    std::string candidate = dir + name;
    for (unsigned n = 1; exists(candidate); ++n) candidate = dir + std::to_string(n) + name;
    return candidate;
}

std::optional<std::uint64_t> DiskExport::freeSpace(const std::string& folder) {
    struct statvfs st {};
    if (::statvfs(folder.c_str(), &st) != 0) return std::nullopt;
    return std::uint64_t{st.f_bavail} * st.f_frsize;
}

ExportOutcome DiskExport::run(const readWriteInterface& reader, const std::string& outputPath,
                              WorkControl& work) const {
    const auto sectors = static_cast<std::int64_t>(reader.totalSectors());
    const std::int64_t bytes = sectors * kSectorSize;

    // The space check asks the file system before anything is created.
    if (freeSpaceProbe) {
        const auto free = freeSpaceProbe(folderOf(outputPath));
        if (free && *free < static_cast<std::uint64_t>(bytes)) return {ExportOutcome::Kind::NoSpace, kNoSpaceText, 0};
    }
    // Always a new file: an existing one is never overwritten.
    const int fd = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    // The system's reason follows on its own line: a user must know why.
    if (fd < 0) return {ExportOutcome::Kind::CannotCreate, std::string(kCannotCreateText) + "\n" + std::strerror(errno), 0};

    // The output gets its full length first, so the copy writes inside the file
    // instead of extending it with every chunk, and a file system that cannot
    // hold a file that large fails here, before anything is written.
    if (::ftruncate(fd, bytes) != 0) {
        const ExportOutcome outcome = failWrite(errno, 0);
        ::close(fd);
        ::unlink(outputPath.c_str());
        return outcome;
    }
    work.range(0, sectors);
    work.position(0);
    const auto chunkAt = [&](std::int64_t at) { return static_cast<std::size_t>(std::min(kChunkBytes, bytes - at)); };
    // Two buffers: the next chunk is read (and, for compressed formats,
    // decoded) on a second thread while this one writes the current chunk.
    // Only one read is in flight at a time, so the reader is never used by
    // two threads at once.
    // Aligned to the page, as direct writes need.
    const auto size = chunkAt(0) > 0 ? chunkAt(0) : std::size_t{1};
    std::array<AlignedBuffer, 2> buffers{AlignedBuffer(size), AlignedBuffer(size)};
    if (!buffers[0].data() || !buffers[1].data()) {
        ::close(fd);
        ::unlink(outputPath.c_str());
        return failWrite(ENOMEM, 0);
    }
    writeDirect(fd);
    ReadAhead ahead(reader);
    bool reading = false;
    const auto startRead = [&](std::int64_t at, AlignedBuffer& buffer) {
        ahead.start(at, buffer.data(), chunkAt(at));
        reading = true;
    };
    ExportOutcome outcome;
    std::int64_t done = 0;
    std::size_t current = 0;
    if (bytes > 0) startRead(0, buffers[0]);
    while (done < bytes) {
        const std::size_t chunk = chunkAt(done);
        const ChunkRead got = ahead.wait();
        reading = false;
        if (!got.ok) {
            work.status("Exit with error number " + std::to_string(got.error));
            outcome = {ExportOutcome::Kind::ReadError, "", done};
            break;
        }
        std::int64_t next = done + static_cast<std::int64_t>(chunk);
        // The blocks that follow and are not stored either are holes too.
        if (got.unallocated && next < bytes)
            next = std::min(bytes, std::max(next, reader.nextStored(next) / kChunkBytes * kChunkBytes));
        if (next < bytes) startRead(next, buffers[current ^ 1]);
        // Unallocated chunks and zero blocks inside stored ones become holes;
        // the final ftruncate gives the file its full length.
        if (!got.unallocated && !writeData(fd, buffers[current].data(), chunk, done)) {
            outcome = failWrite(errno, done);
            break;
        }
        done = next;
        current ^= 1;
        if (done % kProgressStep == 0 || done == bytes) work.position(done / kSectorSize);
        work.status(savedText(done, bytes));
        if (done < bytes && !work.checkpoint()) {
            outcome = {ExportOutcome::Kind::Stopped, "", done};
            break;
        }
    }
    // A read still in flight after an error or a stop ends before its buffer goes.
    if (reading) ahead.wait();
    outcome.bytesWritten = done;
    // The file ends where the copy ended (a partial file stays after a stop or an error).
    if (::ftruncate(fd, done) != 0 && outcome.ok()) outcome = failWrite(errno, done);
    if (::close(fd) != 0 && outcome.ok()) outcome = failWrite(errno, done);
    if (outcome.ok()) work.status(kSavedText);
    return outcome;
}

}  // namespace tavrel
