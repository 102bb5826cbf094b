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

namespace {

// Bytes of content the extents store (holes and ranges off the volume left out),
// within the first `size` bytes.
std::int64_t storedBytes(const VolumeView& volume, const std::vector<Extent>& extents, std::int64_t size) {
    std::int64_t stored = 0;
    std::int64_t remaining = std::max<std::int64_t>(size, 0);
    for (const Extent& e : extents) {
        if (remaining <= 0) break;
        const std::int64_t length = std::min(std::max<std::int64_t>(e.length, 0), remaining);
        if (!e.hole() && e.offset < volume.size()) stored += std::min(length, volume.size() - e.offset);
        remaining -= length;
    }
    return stored;
}

}  // namespace

CopyResult copyExtents(const VolumeView& volume, const std::vector<Extent>& extents, std::int64_t size,
                       ByteSink& out, WorkControl& work, Warnings* warnings) {
    constexpr std::int64_t kChunk = 1 << 20;
    // Holes cost nothing to skip, but a sink that writes their zeros still
    // checks for a stop request now and then.
    constexpr std::int64_t kHoleChunk = std::int64_t{1} << 30;
    // The buffer never exceeds what will be written.
    std::int64_t planned = 0;
    for (const Extent& e : extents) planned = std::min(size, planned + std::max<std::int64_t>(e.length, 0));
    const std::int64_t bufferSize = std::clamp<std::int64_t>(std::min(kChunk, planned), 0, kChunk);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(bufferSize));
    // A file whose stored bytes the sink cannot take is refused before it starts.
    const std::int64_t stored = storedBytes(volume, extents, size);
    if (stored > 0 && !out.hasRoomFor(stored)) return CopyResult::WriteFailed;
    const readWriteInterface& disk = volume.reader();

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
            // Zeros (holes, ranges off the volume, blocks the image never
            // stored) are skipped: a host file keeps them as holes.
            const std::int64_t n = std::min(toWrite - done, e.hole() ? kHoleChunk : bufferSize);
            const std::int64_t onVolume = e.hole() ? 0 : std::clamp<std::int64_t>(readable - done, 0, n);
            if (onVolume > 0 && disk.isUnallocated(volume.baseOffset() + e.offset + done, onVolume)) {
                if (!out.skip(onVolume)) return CopyResult::WriteFailed;
            } else if (onVolume > 0) {
                const MutableByteSpan chunk(buffer.data(), static_cast<std::size_t>(onVolume));
                if (!volume.readAt(e.offset + done, chunk)) {
                    // What the reader could not read is already zeros.
                    if (warnings) warnings->unreadable(e.offset + done);
                    complete = false;
                }
                if (!out.write(chunk)) return CopyResult::WriteFailed;
            }
            if (n > onVolume && !out.skip(n - onVolume)) return CopyResult::WriteFailed;
            done += n;
        }
        remaining -= toWrite;
        if (toWrite < length) break;
    }
    if (remaining > 0) complete = false;
    return complete ? CopyResult::Complete : CopyResult::Incomplete;
}

}  // namespace tavrel::fs
