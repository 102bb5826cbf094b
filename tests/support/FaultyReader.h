// Readers that wrap another for tests of damaged disks: one that logs every read
// (to learn where a parser looks), one that spoils a byte range of the disk.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <mutex>
#include <vector>

#include "image/readWriteInterface.h"

namespace tavrel::test {

struct ReadRange {
    std::int64_t offset = 0;
    std::int64_t length = 0;
};

// Reads through `inner` and keeps the disk range of every read, in order.
class LoggingReader : public readWriteInterface {
public:
    explicit LoggingReader(const readWriteInterface& inner) : inner_(inner) {}
    bool open(std::string) override { return true; }
    std::int64_t diskSize() const override { return inner_.diskSize(); }
    bool isUnallocated(std::int64_t offset, std::int64_t length) const override {
        return inner_.isUnallocated(offset, length);
    }
    bool readAt(std::int64_t offset, MutableByteSpan out) const override {
        {
            std::lock_guard lock(mutex_);
            reads_.push_back({offset, static_cast<std::int64_t>(out.size())});
            bytes_ += static_cast<std::int64_t>(out.size());
        }
        return inner_.readAt(offset, out);
    }

    std::vector<ReadRange> reads() const {
        std::lock_guard lock(mutex_);
        return reads_;
    }
    std::int64_t bytesRead() const {
        std::lock_guard lock(mutex_);
        return bytes_;
    }

private:
    const readWriteInterface& inner_;
    mutable std::mutex mutex_;
    mutable std::vector<ReadRange> reads_;
    mutable std::int64_t bytes_ = 0;
};

// Reads through `inner`, except that bytes inside [from, to) of the disk either
// cannot be read (zeros, and the read reports failure with EIO), read as noise
// that changes with the offset (a failing disk's garbage), or read as zeros
// (a wiped range).
class FaultyReader : public readWriteInterface {
public:
    enum class Fault { Unreadable, Noise, Zeros };

    FaultyReader(const readWriteInterface& inner, std::int64_t from, std::int64_t to, Fault fault)
        : inner_(inner), from_(from), to_(to), fault_(fault) {}
    bool open(std::string) override { return true; }
    std::int64_t diskSize() const override { return inner_.diskSize(); }
    bool isUnallocated(std::int64_t offset, std::int64_t length) const override {
        return !overlaps(offset, length) && inner_.isUnallocated(offset, length);
    }
    bool readAt(std::int64_t offset, MutableByteSpan out) const override {
        const bool ok = inner_.readAt(offset, out);
        const std::int64_t length = static_cast<std::int64_t>(out.size());
        if (!overlaps(offset, length)) return ok;
        const std::int64_t first = std::max(offset, from_);
        const std::int64_t last = std::min(offset + length, to_);
        for (std::int64_t at = first; at < last; ++at) {
            const auto mixed = static_cast<std::uint64_t>(at) * 0x9E3779B97F4A7C15ull;
            out[static_cast<std::size_t>(at - offset)] =
                fault_ == Fault::Noise ? static_cast<std::uint8_t>(mixed >> 56) : std::uint8_t{0};
        }
        if (fault_ != Fault::Unreadable) return ok;
        errno = EIO;
        return false;
    }

private:
    bool overlaps(std::int64_t offset, std::int64_t length) const { return offset < to_ && offset + length > from_; }

    const readWriteInterface& inner_;
    std::int64_t from_;
    std::int64_t to_;
    Fault fault_;
};

}  // namespace tavrel::test
