#include "fs/fat/ClusterCopy.h"

#include <algorithm>

namespace tavrel::fs::fat {

void RunList::add(std::int64_t offset, std::int64_t length) {
    if (length <= 0) return;
    if (!runs_.empty() && runs_.back().offset + runs_.back().length == offset) {
        runs_.back().length += length;
    } else {
        runs_.push_back({offset, length});
    }
    total_ += length;
}

bool copyRuns(const VolumeView& volume, const std::vector<ByteRun>& runs, std::int64_t size, ByteSink& out,
              WorkControl& work) {
    constexpr std::int64_t kChunk = 1 << 20;
    std::int64_t remaining = size;
    // The buffer never exceeds what will be read: the size, the runs, the volume.
    std::int64_t planned = 0;
    for (const ByteRun& run : runs) planned += std::max<std::int64_t>(run.length, 0);
    const std::int64_t bufferSize = std::min({kChunk, std::max<std::int64_t>(size, 0), planned, volume.size()});
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::max<std::int64_t>(bufferSize, 0)));
    for (const ByteRun& run : runs) {
        std::int64_t at = run.offset;
        std::int64_t left = std::min(run.length, remaining);
        while (left > 0) {
            if (!work.checkpoint()) return false;
            if (at < 0 || at >= volume.size()) return false;
            const std::int64_t n =
                std::min({left, static_cast<std::int64_t>(buffer.size()), volume.size() - at});
            if (n <= 0) return false;
            const MutableByteSpan chunk(buffer.data(), static_cast<std::size_t>(n));
            if (!volume.readAt(at, chunk)) return false;
            if (!out.write(chunk)) return false;
            at += n;
            left -= n;
            remaining -= n;
        }
        if (remaining <= 0) break;
    }
    return remaining <= 0;
}

}  // namespace tavrel::fs::fat
