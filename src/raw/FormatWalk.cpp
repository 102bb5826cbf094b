#include "raw/FormatWalk.h"

#include <algorithm>
#include <vector>

#include "util/Unicode.h"

namespace tavrel::raw {

namespace {

// Reads a volume byte by byte through a 64 KiB window, within [start, end).
class Cursor {
public:
    Cursor(const VolumeView& volume, std::int64_t start, std::int64_t end) : volume_(volume), start_(start), end_(end) {}

    // The byte at file offset `at`, or -1 past the end.
    int at(std::int64_t at) {
        const std::int64_t p = start_ + at;
        if (at < 0 || p >= end_) return -1;
        if (p < bufferAt_ || p >= bufferAt_ + static_cast<std::int64_t>(buffer_.size())) {
            bufferAt_ = p;
            buffer_.resize(static_cast<std::size_t>(std::min<std::int64_t>(kWindow, end_ - p)));
            volume_.readAt(p, buffer_);
        }
        return buffer_[static_cast<std::size_t>(p - bufferAt_)];
    }
    std::int64_t be16(std::int64_t a) {
        const int h = at(a), l = at(a + 1);
        return h < 0 || l < 0 ? -1 : (h << 8) | l;
    }
    std::int64_t be32(std::int64_t a) {
        const std::int64_t h = be16(a), l = be16(a + 2);
        return h < 0 || l < 0 ? -1 : (h << 16) | l;
    }

private:
    static constexpr std::int64_t kWindow = 65536;
    const VolumeView& volume_;
    std::int64_t start_, end_;
    std::int64_t bufferAt_ = 0;
    std::vector<std::uint8_t> buffer_;
};

std::int64_t jpegLength(Cursor& c) {
    if (c.at(0) != 0xFF || c.at(1) != 0xD8) return 0;
    std::int64_t p = 2;
    while (true) {
        if (c.at(p) != 0xFF) return 0;
        while (c.at(p + 1) == 0xFF) ++p;  // fill bytes before a marker
        const int marker = c.at(p + 1);
        if (marker < 0) return 0;
        if (marker == 0xD9) return p + 2;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            p += 2;
            continue;
        }
        if (marker == 0x00 || marker == 0xD8) return 0;
        const std::int64_t length = c.be16(p + 2);
        if (length < 2) return 0;
        p += 2 + length;
        if (marker != 0xDA) continue;
        // Entropy-coded data: runs to the next marker that is neither a stuffed
        // 0xFF00 nor a restart marker.
        while (true) {
            const int b = c.at(p);
            if (b < 0) return 0;
            if (b != 0xFF) {
                ++p;
                continue;
            }
            const int next = c.at(p + 1);
            if (next < 0) return 0;
            if (next == 0x00 || (next >= 0xD0 && next <= 0xD7) || next == 0xFF) {
                p += next == 0xFF ? 1 : 2;
                continue;
            }
            break;
        }
    }
}

bool chunkTypeValid(Cursor& c, std::int64_t at) {
    for (int i = 0; i < 4; ++i) {
        const int b = c.at(at + i);
        if (!((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'))) return false;
    }
    return true;
}

std::int64_t pngLength(Cursor& c) {
    static constexpr int kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    for (int i = 0; i < 8; ++i)
        if (c.at(i) != kSignature[i]) return 0;
    std::int64_t p = 8;
    bool first = true;
    while (true) {
        const std::int64_t length = c.be32(p);
        if (length < 0 || length > 0x7FFFFFFF || !chunkTypeValid(c, p + 4)) return 0;
        const bool end = c.at(p + 4) == 'I' && c.at(p + 5) == 'E' && c.at(p + 6) == 'N' && c.at(p + 7) == 'D';
        if (first && !(c.at(p + 4) == 'I' && c.at(p + 5) == 'H' && c.at(p + 6) == 'D' && c.at(p + 7) == 'R')) return 0;
        first = false;
        p += 12 + length;
        if (c.at(p - 1) < 0) return 0;  // the chunk does not fit
        if (end) return p;
    }
}

}  // namespace

std::optional<std::int64_t> walkedLength(const std::string& extension, const VolumeView& volume, std::int64_t start,
                                         std::int64_t limit) {
    const bool jpeg = equalsIgnoreCase(extension, "jpg") || equalsIgnoreCase(extension, "jpeg");
    const bool png = equalsIgnoreCase(extension, "png");
    if (!jpeg && !png) return std::nullopt;
    const std::int64_t end = limit > 0 ? std::min(volume.size(), start + limit) : volume.size();
    Cursor c(volume, start, end);
    return jpeg ? jpegLength(c) : pngLength(c);
}

}  // namespace tavrel::raw
