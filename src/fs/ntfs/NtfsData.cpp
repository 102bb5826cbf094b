// A record's $DATA: its run lists (across extension records when the record
// carries an attribute list) and its summary.
#include <algorithm>
#include <set>

#include "fs/ntfs/AttributeList.h"
#include "fs/ntfs/RunList.h"
#include "fs/ntfs/ntfs.h"

namespace tavrel::fs {

namespace {
// Attribute lists are small (a few KiB even for very fragmented files); this
// bounds what a damaged list can make us read.
constexpr std::uint64_t kMaxAttributeList = 4u << 20;

bool isUnnamedData(const AttributeHeader& a) { return a.type == kAttrData && a.nameLength == 0; }

const char* kindTextOf(const AttributeHeader& a) {
    if (a.nonResident && (a.flags & 0x00FF) != 0) return "Compressed";
    if (a.flags & 0x4000) return "Encrypted";
    if (a.flags == 0 || a.flags == 0x8000) return "Normal";
    return nullptr;
}

DataInfo infoOf(const AttributeHeader& a) {
    DataInfo d;
    d.present = true;
    d.flags = a.flags;
    d.kindText = kindTextOf(a);
    if (a.nonResident) {
        d.residency = 'N';
        d.dataOffset = a.runListOffset;
        d.dataLength = a.length > a.runListOffset ? a.length - a.runListOffset : 0;
        d.compressionExponent = a.compressionExponent;
        d.firstVcn = a.firstVcn;
        d.lastVcn = a.lastVcn;
        d.allocatedSize = a.allocatedSize;
        d.realSize = a.realSize;
        d.initializedSize = a.initializedSize;
    } else {
        d.residency = 'R';
        d.dataOffset = a.offset + a.valueOffset;
        d.dataLength = a.valueLength;
        d.realSize = a.valueLength;
        d.initializedSize = a.valueLength;
    }
    return d;
}

struct RunExtent {
    std::uint64_t firstVcn = 0;
    std::uint64_t lastVcn = 0;
    std::vector<MftRun> runs;
};

void addExtent(ByteSpan record, const AttributeHeader& a, std::vector<RunExtent>& out) {
    if (!a.nonResident || a.lastVcn < a.firstVcn) return;
    RunExtent x;
    x.firstVcn = a.firstVcn;
    x.lastVcn = a.lastVcn;
    x.runs = decodeRunList(runListBytes(record, a), a.lastVcn - a.firstVcn + 1).runs;
    out.push_back(std::move(x));
}
}  // namespace

std::vector<MftRun> ntfs::readRuns(std::int64_t recordOffset, std::uint32_t type) const {
    std::vector<MftRun> runs;
    const auto record = loadRecord(recordOffset);
    if (!record) return runs;
    for (const auto& a : record->attributes) {
        if (a.type != type || !a.nonResident || (type == kAttrData && a.nameLength != 0) || a.lastVcn < a.firstVcn)
            continue;
        auto decoded = decodeRunList(record->runList(a), a.lastVcn - a.firstVcn + 1);
        runs.insert(runs.end(), decoded.runs.begin(), decoded.runs.end());
        if (decoded.terminated) break;
    }
    return runs;
}

std::int64_t ntfs::recordOffsetOf(std::uint64_t recordNumber) const {
    if (!mftLocated_) {
        const auto found = foundRecords_.find(recordNumber);
        return found == foundRecords_.end() ? -1 : found->second;
    }
    if (recordNumber > static_cast<std::uint64_t>(INT64_MAX)) return -1;
    const auto index = indexOfRecord(static_cast<std::int64_t>(recordNumber));
    return index ? entries_[*index].recordOffset : -1;
}

std::vector<std::uint8_t> ntfs::attributeListBytes(const LoadedRecord& record, const AttributeHeader& list) const {
    if (!list.nonResident) {
        const ByteSpan v = record.value(list);
        return {v.begin(), v.end()};
    }
    // A non-resident list: its clusters in run order, up to its real size, read
    // as one sequence.
    std::vector<std::uint8_t> bytes;
    if (list.lastVcn < list.firstVcn) return bytes;
    const std::uint64_t size = std::min<std::uint64_t>(list.realSize, kMaxAttributeList);
    const auto runs = decodeRunList(record.runList(list), list.lastVcn - list.firstVcn + 1).runs;
    const auto cs = static_cast<std::uint64_t>(clusterSize_);
    for (const MftRun& r : runs) {
        if (bytes.size() >= size) break;
        const std::uint64_t want = std::min<std::uint64_t>(size - bytes.size(), r.length > size / cs + 1 ? size : r.length * cs);
        const std::size_t at = bytes.size();
        bytes.resize(at + want, 0);
        std::int64_t offset = 0;
        if (r.sparse) continue;
        if (__builtin_mul_overflow(r.lcn, clusterSize_, &offset) ||
            !volume_.readAt(offset, MutableByteSpan(bytes.data() + at, want)))
            loader_.warnings().unreadable(offset);
    }
    bytes.resize(std::min<std::size_t>(bytes.size(), size));
    return bytes;
}

ntfs::DataStream ntfs::gatherData(const NtfsEntry& entry) const {
    DataStream d;
    const auto record = loadRecord(entry.recordOffset);
    if (!record) return d;
    d.ok = true;

    std::vector<RunExtent> extents;
    const AttributeHeader* list = nullptr;
    for (const auto& a : record->attributes) {
        if (a.type == kAttrAttributeList && !list) list = &a;
        if (!isUnnamedData(a)) continue;
        if (!a.nonResident) {
            if (!d.info.present) {
                d.info = infoOf(a);
                const ByteSpan v = record->value(a);
                d.resident.assign(v.begin(), v.end());
            }
            continue;
        }
        if (a.firstVcn == 0 && (!d.info.present || d.info.residency != 'N')) d.info = infoOf(a);
        addExtent(record->bytes, a, extents);
    }

    // With an attribute list, the $DATA extents may live in other records.
    if (list && d.info.residency != 'R') {
        const auto listBytes = attributeListBytes(*record, *list);
        // The record's own number, where its header holds one.
        const std::optional<std::uint32_t> self = record->header.recordNumber;
        std::set<std::uint64_t> visited;
        for (const auto& item : walkAttributeList(listBytes)) {
            if (item.type != kAttrData || item.nameLength != 0) continue;
            const std::int64_t offset = recordOffsetOf(item.recordNumber);
            if (offset < 0 || offset == entry.recordOffset || (self && item.recordNumber == *self)) continue;
            if (!visited.insert(item.recordNumber).second) continue;
            const auto ext = loadRecord(offset);
            if (!ext) continue;
            for (const auto& a : ext->attributes) {
                if (!isUnnamedData(a) || !a.nonResident) continue;
                if (a.firstVcn == 0 && d.info.residency != 'N') d.info = infoOf(a);
                addExtent(ext->bytes, a, extents);
            }
        }
    }
    if (d.info.residency != 'N') return d;

    // Extents in VCN order; a missing stretch reads as a hole so that later
    // data keeps its place, an overlapping extent is dropped.
    std::sort(extents.begin(), extents.end(), [](const RunExtent& a, const RunExtent& b) { return a.firstVcn < b.firstVcn; });
    std::uint64_t vcn = 0;
    for (auto& x : extents) {
        if (x.firstVcn < vcn) continue;
        if (x.firstVcn > vcn) d.runs.push_back(MftRun{0, x.firstVcn - vcn, true});
        std::uint64_t covered = 0;
        for (const auto& r : x.runs) covered += r.length;
        d.runs.insert(d.runs.end(), x.runs.begin(), x.runs.end());
        vcn = x.firstVcn + covered;
    }
    return d;
}

}  // namespace tavrel::fs
