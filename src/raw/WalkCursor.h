// The structure walks' view of a found file: bytes at file offsets, read from the
// volume through a 64 KiB window and bounded to [start, end) of the volume. Every
// read past the bound answers -1, so a walk that follows lengths from the image
// can never leave its range. Bytes the carve already holds in memory (its chunk)
// are taken from there instead of being read again. With an IndirectSkipper the
// file's bytes leave out the ext indirect blocks among them: file offsets then
// run up to `room` bytes and their volume offsets stay below `end`.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "image/VolumeView.h"
#include "raw/ExtIndirect.h"

namespace tavrel::raw {

// Bytes of the volume already in memory: `bytes` hold the volume from offset `at`.
struct HeldBytes {
    std::int64_t at = 0;
    ByteSpan bytes;
};

class WalkCursor {
public:
    WalkCursor(const VolumeView& volume, std::int64_t start, std::int64_t end, HeldBytes held = {},
               IndirectSkipper* skipper = nullptr, std::int64_t room = -1)
        : volume_(volume), start_(start), end_(end), room_(room >= 0 ? room : end - start), held_(held),
          skipper_(skipper) {}

    // The byte at file offset `at`, or -1 outside the range.
    int at(std::int64_t at) {
        if (at < 0 || at >= room_) return -1;
        std::int64_t p = start_ + at;
        if (skipper_) {
            if (at < runFrom_ || at >= runTo_) {
                runFrom_ = at;
                runTo_ = skipper_->runEnd(at);
                runAt_ = skipper_->volumeOffset(at);
            }
            p = runAt_ + (at - runFrom_);
            if (p >= end_) return -1;
        }
        reach_ = std::max(reach_, p + 1);
        if (p >= held_.at && p - held_.at < static_cast<std::int64_t>(held_.bytes.size()))
            return held_.bytes[static_cast<std::size_t>(p - held_.at)];
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
    // Copies the bytes at file offsets [from, from + out.size()) into out; false when
    // any of them lies outside the range (out is then left partly filled).
    bool read(std::int64_t from, MutableByteSpan out) {
        if (from < 0 || from > room() || room() - from < static_cast<std::int64_t>(out.size())) return false;
        for (std::size_t i = 0; i < out.size(); ++i) {
            const int b = at(from + static_cast<std::int64_t>(i));
            if (b < 0) return false;  // a skipped block's run may end before the room does
            out[i] = static_cast<std::uint8_t>(b);
        }
        return true;
    }
    // Bytes the file may hold at most: from its start to the bound.
    std::int64_t room() const { return room_; }
    // The volume offset just past the furthest byte the walk looked at.
    std::int64_t reach() const { return reach_; }

private:
    static constexpr std::int64_t kWindow = 65536;
    const VolumeView& volume_;
    std::int64_t start_, end_, room_;
    HeldBytes held_;
    IndirectSkipper* skipper_;
    std::int64_t runFrom_ = 0, runTo_ = 0, runAt_ = 0;  // file bytes [runFrom_, runTo_) lie from runAt_ on
    std::int64_t reach_ = 0;
    std::int64_t bufferAt_ = 0;
    std::vector<std::uint8_t> buffer_;
};

// How a structure walk ended. Complete: the format's own fields prove where the
// file ends. Truncated: the structure holds up to the last valid point and the
// data stops there (zeros follow, or the range ends). Damaged: the structure
// breaks at the last valid point amid data that may still belong to the file.
enum class WalkEnd { Complete, Truncated, Damaged };

struct Walked {
    WalkEnd end = WalkEnd::Damaged;
    std::int64_t length = 0;  // Complete: the exact length; else the last valid point
};

// The structure breaks at file offset p: truncated when nothing but zeros (or the
// range's end) follows within a sector's length, else damaged.
inline Walked brokenAt(WalkCursor& c, std::int64_t p) {
    constexpr std::int64_t kZeroProbe = 512;
    for (std::int64_t i = 0; i < kZeroProbe; ++i) {
        const int b = c.at(p + i);
        if (b < 0) break;
        if (b != 0) return {WalkEnd::Damaged, p};
    }
    return {WalkEnd::Truncated, p};
}

}  // namespace tavrel::raw
