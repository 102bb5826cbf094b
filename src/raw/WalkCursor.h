// The structure walks' view of a found file: bytes at file offsets, read from the
// volume through a 64 KiB window and bounded to [start, end) of the volume. Every
// read past the bound answers -1, so a walk that follows lengths from the image
// can never leave its range.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "image/VolumeView.h"

namespace tavrel::raw {

class WalkCursor {
public:
    WalkCursor(const VolumeView& volume, std::int64_t start, std::int64_t end)
        : volume_(volume), start_(start), end_(end) {}

    // The byte at file offset `at`, or -1 outside the range.
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
    std::int64_t le16(std::int64_t a) {
        const int l = at(a), h = at(a + 1);
        return h < 0 || l < 0 ? -1 : (h << 8) | l;
    }
    std::int64_t be32(std::int64_t a) {
        const std::int64_t h = be16(a), l = be16(a + 2);
        return h < 0 || l < 0 ? -1 : (h << 16) | l;
    }
    // Bytes the file may hold at most: from its start to the bound.
    std::int64_t room() const { return end_ - start_; }

private:
    static constexpr std::int64_t kWindow = 65536;
    const VolumeView& volume_;
    std::int64_t start_, end_;
    std::int64_t bufferAt_ = 0;
    std::vector<std::uint8_t> buffer_;
};

}  // namespace tavrel::raw
