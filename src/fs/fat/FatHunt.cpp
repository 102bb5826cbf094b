#include "fs/fat/FatHunt.h"

#include <algorithm>
#include <cstdio>

#include "fs/StructureHunt.h"

namespace tavrel::fs::fat {

bool startsFat(FatHuntKind kind, ByteSpan sector) {
    const auto first = le32At(sector, 0);
    const auto second = le32At(sector, 4);
    switch (kind) {
    case FatHuntKind::Fat16:
        return first == 0xFFFFFFF8u;
    case FatHuntKind::Fat32:
        return first == 0x0FFFFFF8u && (second == 0xFFFFFFFFu || second == 0x0FFFFFFFu);
    case FatHuntKind::ExFat:
        return first == 0xFFFFFFF8u && second == 0xFFFFFFFFu;
    }
    return false;
}

std::vector<std::int64_t> huntFatCopies(const VolumeView& volume, FatHuntKind kind, const FatHuntLimits& limits,
                                        WorkControl& work, Warnings& warnings) {
    std::vector<std::int64_t> found;
    const auto maximum = static_cast<std::size_t>(huntMaximum(limits.maximum));
    const std::int64_t end = volume.size();
    const std::int64_t step = std::max<std::int64_t>(limits.chunkSize, 65536) / 512 * 512;
    if (end <= 0) return found;
    work.range(0, 1000);
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min(step, end)));
    // Chunks the image does not store are passed over without a look.
    for (std::int64_t start = volume.storedChunkFrom(0, step); start < end && found.size() < maximum;
         start = volume.storedChunkFrom(start + step, step)) {
        if (!work.checkpoint()) break;
        work.position(start / std::max<std::int64_t>(end / 1000, 1));
        const auto length = static_cast<std::size_t>(std::min(step, end - start));
        const MutableByteSpan span(chunk.data(), length);
        if (!volume.readAt(start, span)) {
            warnings.unreadable(start);
            continue;
        }
        for (std::size_t pos = 0; pos + 512 <= length && found.size() < maximum; pos += 512) {
            if (!startsFat(kind, ByteSpan(span).subspan(pos, 512))) continue;
            found.push_back(start + static_cast<std::int64_t>(pos));
            char text[48];
            std::snprintf(text, sizeof text, "found fat entry  %d ", static_cast<int>(found.size()));
            work.status(text);
        }
    }
    work.position(1000);
    return found;
}

}  // namespace tavrel::fs::fat
