#include "fs/ntfs/MftHunt.h"

#include <algorithm>
#include <cstdio>

#include "fs/StructureHunt.h"
#include "fs/ntfs/RunList.h"

namespace tavrel::fs {

namespace {

bool named(const LoadedRecord& record, const std::string& name) {
    for (const auto& a : record.attributes) {
        if (a.type != kAttrFileName || a.nonResident) continue;
        const auto fn = decodeFileName(record.value(a));
        if (fn && fn->name == name) return true;
    }
    return false;
}

// The allocated size a record names for itself, when its update-sequence count
// agrees (one entry per 512 bytes plus the sequence number); 1024 otherwise.
std::uint32_t sizeOfRecord(const RecordHeader& h) {
    const std::uint32_t n = h.bytesAllocated;
    if (n >= 512 && n <= 65536 && (n & (n - 1)) == 0 && h.usaCount == n / 512 + 1) return n;
    return 1024;
}

// A unit is looked at when it starts with "FILE" and its header's offsets lie
// inside its first sector.
bool plausibleHeader(const RecordHeader& h) {
    return h.tag == kFileTag && h.usaOffset < 512 && h.usaCount < 512 && h.firstAttribute < 512;
}

std::optional<LoadedRecord> recordAt(const VolumeView& volume, ByteSpan chunk, std::int64_t chunkStart,
                                     std::int64_t offset, std::uint32_t size) {
    const auto pos = static_cast<std::size_t>(offset - chunkStart);
    if (offset >= chunkStart && fits(chunk.size(), pos, size))
        return decodeRecord(std::vector<std::uint8_t>(chunk.begin() + static_cast<std::ptrdiff_t>(pos),
                                                      chunk.begin() + static_cast<std::ptrdiff_t>(pos + size)),
                            offset);
    std::vector<std::uint8_t> bytes(size);
    if (!volume.readAt(offset, bytes)) return std::nullopt;
    return decodeRecord(std::move(bytes), offset);
}

std::string foundText(std::int64_t taken) {
    char buf[80];
    std::snprintf(buf, sizeof buf, "MFT ENTRY %lld Found.Parsing it ...", static_cast<long long>(taken));
    return buf;
}

}  // namespace

std::optional<std::int64_t> mftSelfPlace(const LoadedRecord& record) {
    if (record.header.recordNumber.value_or(0) != 0 || !named(record, "$MFT")) return std::nullopt;
    for (const auto& a : record.attributes) {
        if (a.type != kAttrData || !a.nonResident || a.nameLength != 0 || a.firstVcn != 0 || a.lastVcn < a.firstVcn)
            continue;
        const auto decoded = decodeRunList(record.runList(a), a.lastVcn - a.firstVcn + 1);
        if (decoded.runs.empty() || decoded.runs.front().sparse) return std::nullopt;
        const std::int64_t lcn = decoded.runs.front().lcn;
        if (lcn <= 0 || lcn > record.offset / 512) return std::nullopt;
        for (std::int64_t size = 512; size <= 65536; size *= 2)
            if (lcn * size == record.offset) return size;
        return std::nullopt;
    }
    return std::nullopt;
}

bool isBootRecord(const LoadedRecord& record) {
    return record.header.recordNumber.value_or(7) == 7 && named(record, "$Boot");
}

std::vector<MftCopy> huntMftCopies(const VolumeView& volume, const MftLayout::Stored& stored,
                                   const MftHuntLimits& limits, WorkControl& work, Warnings& warnings) {
    std::vector<MftCopy> found;
    const auto maximum = static_cast<std::size_t>(huntMaximum(limits.maximum));
    const std::int64_t end = volume.size();
    const std::int64_t step = std::max<std::int64_t>(limits.chunkSize, 65536);
    if (end <= 0) return found;
    work.range(0, (end + step - 1) / step);
    std::vector<std::uint8_t> chunk;  // grows to the largest stored part of a chunk
    std::int64_t taken = 0;
    // Chunks the image does not store are passed over without a look.
    for (std::int64_t start = volume.storedChunkFrom(0, step); start < end && found.size() < maximum;
         start = volume.storedChunkFrom(start + step, step)) {
        if (!work.checkpoint()) break;
        work.position(start / step);
        // Only the part up to the chunk's last stored byte is read.
        const auto length = static_cast<std::size_t>(volume.storedPrefix(start, std::min(step, end - start)));
        if (length == 0 || !stored(start, static_cast<std::int64_t>(length))) continue;
        if (chunk.size() < length) chunk.resize(length);
        const MutableByteSpan span(chunk.data(), length);
        if (!volume.readAt(start, span)) {
            warnings.unreadable(start);
            continue;
        }
        std::size_t pos = 0;
        while (pos + 512 <= length && found.size() < maximum) {
            const RecordHeader h = decodeRecordHeader(ByteSpan(span).subspan(pos, 512));
            if (!plausibleHeader(h)) {
                pos += 512;
                continue;
            }
            ++taken;
            const std::uint32_t size = sizeOfRecord(h);
            const std::int64_t offset = start + static_cast<std::int64_t>(pos);
            if (h.recordNumber.value_or(0) == 0 && offset + 8 * std::int64_t{size} <= end) {
                const auto first = recordAt(volume, span, start, offset, size);
                const auto place = first ? mftSelfPlace(*first) : std::nullopt;
                const auto seventh = place ? recordAt(volume, span, start, offset + 7 * std::int64_t{size}, size)
                                           : std::nullopt;
                if (seventh && isBootRecord(*seventh)) {
                    found.push_back({offset, size, *place});
                    work.status(foundText(taken));
                }
            }
            pos += std::max<std::size_t>(size, 1024);
        }
    }
    work.position((end + step - 1) / step);
    return found;
}

}  // namespace tavrel::fs
