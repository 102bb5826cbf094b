#include "image/MemoryImage.h"

#include <algorithm>
#include <cstring>

namespace tavrel {

bool MemoryImage::readAt(std::int64_t diskOffset, MutableByteSpan out) const {
    std::memset(out.data(), 0, out.size());
    if (diskOffset < 0 || diskOffset > diskSize()) return false;
    const auto start = static_cast<std::size_t>(diskOffset);
    const std::size_t avail = std::min(out.size(), bytes_.size() - start);
    if (avail > 0) std::memcpy(out.data(), bytes_.data() + start, avail);
    return avail == out.size();
}

}  // namespace tavrel
