// A dynamic VHD that claims a 2 TiB disk and stores one 2 MiB block, built in
// memory for the fuzz targets: the input is placed at the start of a volume that
// begins with that block, so a parser sees a volume whose claimed extent is far
// beyond what the image holds, read through the real VHD reader.
//
// The image is built once, in an anonymous memory file that the reader opens
// like any image file; each input then only rewrites the stored block, so no
// input pays for building, opening or reading the 4 MiB block table.
#pragma once

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/FileReadSeekVHD.h"
#include "image/VolumeView.h"

namespace tavrel::fuzz {

class SparseVhd {
public:
    static constexpr std::uint64_t kDiskBytes = std::uint64_t{2} << 40;
    static constexpr std::uint32_t kBlockBytes = 2u << 20;
    static constexpr std::uint64_t kVolumeStart = kBlockBytes;  // the stored block, the second of the disk

    SparseVhd() {
        fd_ = ::memfd_create("tavrel-fuzz-vhd", 0);
        if (fd_ < 0) std::abort();
        const std::uint64_t entries = kDiskBytes / kBlockBytes;
        const std::uint64_t tableAt = 1536;
        const std::uint64_t tableBytes = (entries * 4 + 511) / 512 * 512;
        const std::uint64_t bitmapBytes = 512;  // one bit per sector of the block, padded to a sector
        const std::uint64_t blockAt = tableAt + tableBytes;
        dataAt_ = static_cast<std::int64_t>(blockAt + bitmapBytes);

        const std::vector<std::uint8_t> foot = footer();
        std::vector<std::uint8_t> image(blockAt + bitmapBytes, 0);
        std::copy(foot.begin(), foot.end(), image.begin());
        const std::vector<std::uint8_t> head = header(tableAt, static_cast<std::uint32_t>(entries));
        std::copy(head.begin(), head.end(), image.begin() + 512);
        std::fill(image.begin() + static_cast<std::ptrdiff_t>(tableAt),
                  image.begin() + static_cast<std::ptrdiff_t>(tableAt + entries * 4), std::uint8_t{0xFF});
        putBe(image, tableAt + 4 * (kVolumeStart / kBlockBytes), blockAt / 512, 4);
        std::fill(image.begin() + static_cast<std::ptrdiff_t>(blockAt), image.end(), std::uint8_t{0xFF});
        writeAll(image, 0);
        writeAll(foot, dataAt_ + kBlockBytes);  // the block's data stays a hole: zeros

        if (!reader_.open("/proc/self/fd/" + std::to_string(fd_)) || reader_.diskSize() != static_cast<std::int64_t>(kDiskBytes))
            std::abort();
    }
    ~SparseVhd() { ::close(fd_); }
    SparseVhd(const SparseVhd&) = delete;
    SparseVhd& operator=(const SparseVhd&) = delete;

    // Makes the whole stored block read as zeros again: what was written since
    // the last clear becomes a hole of the memory file (or is overwritten with
    // zeros where holes cannot be made).
    void clear() {
        if (written_ > 0 && ::fallocate(fd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, dataAt_,
                                        static_cast<off_t>(written_)) != 0)
            writeAll(std::vector<std::uint8_t>(written_), dataAt_);
        written_ = 0;
    }

    // Writes `bytes` at `offset` within the volume's first block; what would
    // pass the block's end is left out.
    void write(ByteSpan bytes, std::size_t offset) {
        if (offset >= kBlockBytes) return;
        const std::size_t size = std::min<std::size_t>(bytes.size(), kBlockBytes - offset);
        writeAll(bytes.first(size), dataAt_ + static_cast<std::int64_t>(offset));
        written_ = std::max(written_, offset + size);
    }

    // The volume: from the stored block to the end of the claimed disk.
    VolumeView volume() const {
        return VolumeView(reader_, static_cast<std::int64_t>(kVolumeStart / 512),
                          static_cast<std::int64_t>((kDiskBytes - kVolumeStart) / 512));
    }

private:
    static void putBe(std::vector<std::uint8_t>& b, std::uint64_t at, std::uint64_t v, int width) {
        for (int i = 0; i < width; ++i)
            b[at + static_cast<std::uint64_t>(i)] = static_cast<std::uint8_t>(v >> (8 * (width - 1 - i)));
    }
    static void putChecksum(std::vector<std::uint8_t>& b, std::uint64_t at) {
        std::uint32_t sum = 0;
        for (const std::uint8_t c : b) sum += c;
        putBe(b, at, ~sum, 4);
    }
    static std::vector<std::uint8_t> footer() {
        std::vector<std::uint8_t> f(512, 0);
        const std::string cookie = "conectix";
        std::copy(cookie.begin(), cookie.end(), f.begin());
        putBe(f, 0x08, 2, 4);                   // features
        putBe(f, 0x0C, 0x00010000, 4);          // format version
        putBe(f, 0x10, 512, 8);                 // the dynamic header
        putBe(f, 0x28, kDiskBytes, 8);          // original size
        putBe(f, 0x30, kDiskBytes, 8);          // current size
        putBe(f, 0x38, 0xFFFF10FF, 4);          // geometry
        putBe(f, 0x3C, 3, 4);                   // dynamic
        putChecksum(f, 0x40);
        return f;
    }
    static std::vector<std::uint8_t> header(std::uint64_t tableAt, std::uint32_t entries) {
        std::vector<std::uint8_t> h(1024, 0);
        const std::string cookie = "cxsparse";
        std::copy(cookie.begin(), cookie.end(), h.begin());
        putBe(h, 0x08, ~std::uint64_t{0}, 8);
        putBe(h, 0x10, tableAt, 8);
        putBe(h, 0x18, 0x00010000, 4);
        putBe(h, 0x1C, entries, 4);
        putBe(h, 0x20, kBlockBytes, 4);
        putChecksum(h, 0x24);
        return h;
    }
    void writeAll(ByteSpan bytes, std::int64_t at) const {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done, at + static_cast<off_t>(done));
            if (n <= 0) std::abort();
            done += static_cast<std::size_t>(n);
        }
    }

    int fd_ = -1;
    std::int64_t dataAt_ = 0;
    std::size_t written_ = 0;
    FileReadSeekVHD reader_;
};

}  // namespace tavrel::fuzz
