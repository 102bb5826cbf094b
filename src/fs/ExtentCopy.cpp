#include "fs/ExtentCopy.h"

#include <algorithm>
#include <limits>

namespace tavrel::fs {

void ExtentList::add(std::int64_t offset, std::int64_t length) {
    if (length <= 0) return;
    if (total_ > std::numeric_limits<std::int64_t>::max() - length) return;  // a claim no volume holds
    if (!extents_.empty()) {
        Extent& last = extents_.back();
        const bool bothHoles = last.hole() && offset < 0;
        const bool continues = !last.hole() && offset >= 0 && last.offset + last.length == offset;
        if (bothHoles || continues) {
            last.length += length;
            total_ += length;
            return;
        }
    }
    extents_.push_back({offset < 0 ? -1 : offset, length});
    total_ += length;
}

CopyResult copyExtents(const VolumeView& volume, const std::vector<Extent>& extents, std::int64_t size,
                       ByteSink& out, WorkControl& work, Warnings* warnings) {
    constexpr std::int64_t kChunk = 1 << 20;
    // The buffer never exceeds what will be written.
    std::int64_t planned = 0;
    for (const Extent& e : extents) planned = std::min(size, planned + std::max<std::int64_t>(e.length, 0));
    const std::int64_t bufferSize = std::clamp<std::int64_t>(std::min(kChunk, planned), 0, kChunk);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(bufferSize));

    bool complete = true;
    std::int64_t remaining = std::max<std::int64_t>(size, 0);
    for (std::size_t i = 0; i < extents.size() && remaining > 0; ++i) {
        const Extent& e = extents[i];
        const std::int64_t length = std::min(std::max<std::int64_t>(e.length, 0), remaining);
        // Bytes of this extent that lie on the volume; the rest read as zeros
        // when later extents follow (so their bytes keep their offsets), and end
        // the copy when this is the last one.
        std::int64_t readable = length;
        if (!e.hole()) {
            readable = e.offset >= volume.size() ? 0 : std::min(length, volume.size() - e.offset);
            if (readable < length) {
                if (warnings) warnings->unreadable(std::min(e.offset, volume.size()));
                complete = false;
            }
        }
        const bool last = i + 1 == extents.size();
        const std::int64_t toWrite = last && !e.hole() ? readable : length;
        std::int64_t done = 0;
        while (done < toWrite) {
            if (!work.checkpoint()) return CopyResult::Stopped;
            const std::int64_t n = std::min(toWrite - done, bufferSize);
            const MutableByteSpan chunk(buffer.data(), static_cast<std::size_t>(n));
            if (e.hole() || done >= readable) {
                std::fill(chunk.begin(), chunk.end(), std::uint8_t{0});
            } else {
                const MutableByteSpan onVolume = chunk.first(static_cast<std::size_t>(std::min(n, readable - done)));
                std::fill(chunk.begin() + static_cast<std::ptrdiff_t>(onVolume.size()), chunk.end(), std::uint8_t{0});
                if (!volume.readAt(e.offset + done, onVolume)) {
                    // What the reader could not read is already zeros.
                    if (warnings) warnings->unreadable(e.offset + done);
                    complete = false;
                }
            }
            if (!out.write(chunk)) return CopyResult::WriteFailed;
            done += n;
        }
        remaining -= toWrite;
        if (toWrite < length) break;
    }
    if (remaining > 0) complete = false;
    return complete ? CopyResult::Complete : CopyResult::Incomplete;
}

}  // namespace tavrel::fs
