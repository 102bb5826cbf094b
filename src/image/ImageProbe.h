// The bytes a format test looks at: the file's length and its first and last
// few KiB. Format tests are pure functions over this, so they are tested and
// fuzzed from memory.
#pragma once

#include <cstdint>
#include <vector>

#include "util/Bytes.h"

namespace tavrel {

struct ImageProbe {
    static constexpr std::size_t kWindow = 4096;

    std::int64_t length = 0;         // file length in bytes
    std::vector<std::uint8_t> head;  // bytes [0, min(length, kWindow))
    std::vector<std::uint8_t> tail;  // the last min(length, kWindow) bytes

    // The `size` bytes at file offset `offset` when they lie inside head or tail;
    // an empty span otherwise.
    ByteSpan at(std::int64_t offset, std::size_t size) const {
        if (offset < 0 || offset > length || static_cast<std::uint64_t>(length - offset) < size) return {};
        const auto off = static_cast<std::size_t>(offset);
        if (fits(head.size(), off, size)) return ByteSpan(head).subspan(off, size);
        const std::int64_t tailStart = length - static_cast<std::int64_t>(tail.size());
        if (offset >= tailStart) return subSpan(tail, static_cast<std::size_t>(offset - tailStart), size);
        return {};
    }
};

}  // namespace tavrel
