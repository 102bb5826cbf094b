#include "fs/fat/FatHunt.h"

#include <algorithm>
#include <bitset>
#include <cstdio>
#include <map>

#include "fs/StructureHunt.h"

namespace tavrel::fs::fat {

namespace {

constexpr std::size_t kSector = 512;
// Bounds on what one heap hunt keeps while it waits for support.
constexpr std::size_t kMaxFullSectors = 4096;
constexpr std::size_t kMaxBitmapEntries = 256;
// Whatever count the user asks for, a hostile volume full of signatures cannot
// make a list outgrow this.
constexpr std::size_t kMaxCandidates = 4096;

bool allFf(ByteSpan bytes, std::size_t count) {
    return bytes.size() >= count && std::all_of(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count),
                                                [](std::uint8_t b) { return b == 0xFF; });
}

bool isDotName(ByteSpan slot, int dots) {
    for (int i = 0; i < 11; ++i)
        if (slot[static_cast<std::size_t>(i)] != (i < dots ? '.' : ' ')) return false;
    return true;
}

// Walks [0, volume size) chunk by chunk, handing each stored, readable chunk
// to `visit(start, bytes)`, until it returns false or a stop is requested.
template <typename Visit>
void readChunks(const VolumeView& volume, const FatHuntLimits& limits, WorkControl& work, Warnings& warnings,
                bool progress, Visit visit) {
    const std::int64_t end = volume.size();
    const std::int64_t step = std::max<std::int64_t>(limits.chunkSize, 65536) / 512 * 512;
    if (end <= 0) return;
    if (progress) work.range(0, 1000);
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min(step, end)));
    // Chunks the image does not store are passed over without a look.
    for (std::int64_t start = volume.storedChunkFrom(0, step); start < end;
         start = volume.storedChunkFrom(start + step, step)) {
        if (!work.checkpoint()) break;
        if (progress) work.position(static_cast<std::int64_t>(static_cast<double>(start) / end * 1000));
        // Ranges the image does not store hold only zeros: 64 chunks are
        // skipped at once where a sparse image stores none of them.
        const std::int64_t wide = std::min(step * 64, end - start);
        if (limits.stored && wide > step && !limits.stored(start, wide)) {
            start += wide - step;
            continue;
        }
        const auto length = static_cast<std::size_t>(std::min(step, end - start));
        if (limits.stored && !limits.stored(start, static_cast<std::int64_t>(length))) continue;
        const MutableByteSpan span(chunk.data(), length);
        if (!volume.readAt(start, span)) {
            warnings.unreadable(start);
            continue;
        }
        if (!visit(start, ByteSpan(span))) break;
    }
    if (progress) work.position(1000);
}

}  // namespace

bool startsFat12(ByteSpan sector) {
    if (sector.size() < kSector) return false;
    const std::uint8_t media = sector[0];
    if ((media != 0xF0 && media < 0xF8) || sector[1] != 0xFF || sector[2] != 0xFF) return false;
    // Entries 2 and up, two in every three bytes, as far as whole pairs lie in the sector.
    std::bitset<0x1000> named;
    std::uint32_t cluster = 2;
    bool onlyEndMarks = true;  // a sector of 0xFF bytes is no FAT
    for (std::size_t at = 3; at + 3 <= kSector; at += 3) {
        const std::uint32_t pair = sector[at] | (sector[at + 1] << 8) | (sector[at + 2] << 16);
        for (const std::uint32_t entry : {pair & 0xFFF, pair >> 12}) {
            const bool next = entry >= 2 && entry <= 0xFEF;
            if (entry == 1 || (entry >= 0xFF0 && entry <= 0xFF6)) return false;
            if (next && (entry == cluster || named[entry])) return false;
            if (next) named[entry] = true;
            onlyEndMarks = onlyEndMarks && entry == 0xFFF;
            ++cluster;
        }
    }
    return !onlyEndMarks;
}

bool startsFat(FatHuntKind kind, ByteSpan sector) {
    const auto first = le32At(sector, 0);
    const auto second = le32At(sector, 4);
    switch (kind) {
    case FatHuntKind::Fat16:
        return first == 0xFFFFFFF8u || startsFat12(sector);
    case FatHuntKind::Fat32:
        return first == 0x0FFFFFF8u && (second == 0xFFFFFFFFu || second == 0x0FFFFFFFu);
    case FatHuntKind::ExFat:
        return first == 0xFFFFFFF8u && second == 0xFFFFFFFFu;
    }
    return false;
}

std::optional<std::uint32_t> dotEntryCluster(FatHuntKind kind, ByteSpan sector) {
    if (sector.size() < 64 || sector[0] != '.' || !isDotName(sector, 1) || !isDotName(sector.subspan(32), 2) ||
        (sector[11] & 0x10) == 0 || (sector[43] & 0x10) == 0)
        return std::nullopt;
    std::uint32_t cluster = le16(sector, 26);
    if (kind == FatHuntKind::Fat32) cluster |= static_cast<std::uint32_t>(le16(sector, 20)) << 16;
    if (cluster < 2) return std::nullopt;
    return cluster;
}

FatHuntResult huntFatCopies(const VolumeView& volume, FatHuntKind kind, const FatHuntLimits& limits,
                            WorkControl& work, Warnings& warnings) {
    FatHuntResult result;
    const auto maximum = std::min(static_cast<std::size_t>(huntMaximum(limits.maximum)), kMaxCandidates);
    readChunks(volume, limits, work, warnings, true, [&](std::int64_t start, ByteSpan chunk) {
        if (kind == FatHuntKind::Fat32) {
            char text[128];
            std::snprintf(text, sizeof text, "Parsing Disk Currently at position %f of the disk of size %f",
                          static_cast<double>(start), static_cast<double>(volume.size()));
            work.status(text);
        }
        for (std::size_t pos = 0; pos + kSector <= chunk.size(); pos += kSector) {
            const ByteSpan sector = chunk.subspan(pos, kSector);
            // Cheap first-byte tests before the full ones: most sectors are neither.
            if (sector[0] >= 0xF0 && startsFat(kind, sector)) {
                result.fats.push_back(start + static_cast<std::int64_t>(pos));
                char text[48];
                std::snprintf(text, sizeof text, "found fat entry  %d ", static_cast<int>(result.fats.size()));
                work.status(text);
                if (result.fats.size() >= maximum) return false;
            } else if (sector[0] == '.' && kind != FatHuntKind::ExFat && result.dots.size() < kMaxDots) {
                if (const auto c = dotEntryCluster(kind, sector))
                    result.dots.push_back({start + static_cast<std::int64_t>(pos), *c});
            }
        }
        return true;
    });
    return result;
}

std::optional<DataArea> dataAreaFromDots(const std::vector<DotSighting>& dots) {
    // Each pair of sightings of different clusters names a cluster size; the
    // size and place most pairs of neighbours agree on win.
    std::map<std::pair<std::int64_t, std::int64_t>, int> votes;
    for (std::size_t i = 1; i < dots.size(); ++i) {
        const DotSighting& a = dots[i - 1];
        const DotSighting& b = dots[i];
        if (b.cluster <= a.cluster || b.offset <= a.offset) continue;
        const std::int64_t span = b.offset - a.offset;
        const std::int64_t clusters = static_cast<std::int64_t>(b.cluster) - a.cluster;
        if (span % clusters != 0) continue;
        const std::int64_t size = span / clusters;
        if (size < 512 || size > 65536 || (size & (size - 1)) != 0) continue;
        const std::int64_t offset = a.offset - (static_cast<std::int64_t>(a.cluster) - 2) * size;
        if (offset >= 0) ++votes[{size, offset}];
    }
    const auto best = std::max_element(votes.begin(), votes.end(),
                                       [](const auto& x, const auto& y) { return x.second < y.second; });
    if (best == votes.end()) return std::nullopt;
    return DataArea{best->first.first, best->first.second};
}

std::optional<std::int64_t> dataOffsetFromDots(const std::vector<DotSighting>& dots, std::int64_t clusterSize) {
    if (clusterSize <= 0) return std::nullopt;
    std::map<std::int64_t, int> votes;
    for (const DotSighting& d : dots) {
        const std::int64_t offset = d.offset - (static_cast<std::int64_t>(d.cluster) - 2) * clusterSize;
        if (offset >= 0) ++votes[offset];
    }
    const auto best = std::max_element(votes.begin(), votes.end(),
                                       [](const auto& x, const auto& y) { return x.second < y.second; });
    if (best == votes.end()) return std::nullopt;
    return best->first;
}

std::optional<BitmapEntry> bitmapEntryAt(ByteSpan slot, std::int64_t offset) {
    // The first bitmap (flags 0); the reserved bytes are zero.
    if (slot.size() < 32 || slot[0] != 0x81 || (slot[1] & 1) != 0) return std::nullopt;
    for (std::size_t i = 2; i < 20; ++i)
        if (slot[i] != 0) return std::nullopt;
    BitmapEntry e{offset, le32(slot, 20), le64(slot, 24)};
    if (e.firstCluster < 2 || e.length == 0 || e.length > (std::uint64_t{1} << 29)) return std::nullopt;
    return e;
}

std::optional<HeapCandidate> heapSupportedBy(std::int64_t sector, const BitmapEntry& entry, std::int64_t volumeSize) {
    for (std::int64_t size = 512; size <= (std::int64_t{1} << 25); size *= 2) {
        const std::int64_t heap = sector - (static_cast<std::int64_t>(entry.firstCluster) - 2) * size;
        if (heap < 0) break;
        if (heap >= volumeSize) continue;
        const auto clusters = static_cast<std::uint64_t>((volumeSize - heap) / size);
        const std::uint64_t bitmapBytes = (clusters + 7) / 8;
        // The volume may hold a little more than the file system claims.
        if (bitmapBytes < entry.length || bitmapBytes > entry.length + entry.length / 64 + 1) continue;
        if (entry.offset < heap || static_cast<std::uint64_t>(entry.offset - heap) / static_cast<std::uint64_t>(size) >=
                                       clusters)
            continue;
        return HeapCandidate{heap, size, entry.offset};
    }
    return std::nullopt;
}

std::vector<HeapCandidate> huntHeapOffsets(const VolumeView& volume, const FatHuntLimits& limits,
                                           std::optional<std::int64_t> bootHeap, WorkControl& work,
                                           Warnings& warnings) {
    const std::size_t wanted = std::min(static_cast<std::size_t>(huntMaximum(limits.maximum)) + 1, kMaxCandidates);
    const std::int64_t end = volume.size();
    std::vector<HeapCandidate> found;
    std::vector<std::int64_t> full;  // all-0xFF sectors still waiting for support
    std::vector<BitmapEntry> bitmaps;
    const auto take = [&](const HeapCandidate& h) {
        for (const HeapCandidate& f : found)
            if (f.heapOffset == h.heapOffset) return;
        found.push_back(h);
    };
    if (bootHeap && *bootHeap >= 0 && *bootHeap < end) take({*bootHeap, 0, -1});
    readChunks(volume, limits, work, warnings, false, [&](std::int64_t start, ByteSpan chunk) {
        for (std::size_t pos = 0; pos + kSector <= chunk.size() && found.size() < wanted; pos += kSector) {
            const std::int64_t at = start + static_cast<std::int64_t>(pos);
            const ByteSpan sector = chunk.subspan(pos, kSector);
            if (allFf(sector, 8)) {
                if (bootHeap && at == *bootHeap) continue;
                bool supported = false;
                for (const BitmapEntry& b : bitmaps)
                    if (const auto h = heapSupportedBy(at, b, end)) {
                        take(*h);
                        supported = true;
                        break;
                    }
                if (!supported && full.size() < kMaxFullSectors) full.push_back(at);
                continue;
            }
            // Directory entries lie on 32-byte boundaries of a sector.
            for (std::size_t s = 0; s < kSector; s += 32) {
                if (sector[s] != 0x81) continue;
                const auto b = bitmapEntryAt(sector.subspan(s, 32), at + static_cast<std::int64_t>(s));
                if (!b || bitmaps.size() >= kMaxBitmapEntries) continue;
                bitmaps.push_back(*b);
                for (const std::int64_t f : full)
                    if (const auto h = heapSupportedBy(f, *b, end)) take(*h);
            }
        }
        return found.size() < wanted && !work.stopRequested();
    });
    if (found.size() > wanted) found.resize(wanted);
    return found;
}

}  // namespace tavrel::fs::fat
