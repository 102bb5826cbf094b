#include "volume/LvmScan.h"

#include <algorithm>
#include <array>
#include <map>

#include "volume/LvmTexts.h"

namespace tavrel::lvm {

namespace {

constexpr std::int64_t kSector = 512;

struct FoundPv {
    std::optional<std::size_t> record;  // the partition's record; none for the whole disk
    std::int64_t start = 0;             // disk byte offset
    std::int64_t sectors = 0;
    PvLabel label;
    std::vector<MetadataCopy> copies;
    bool areasEmpty = true;  // every metadata area sound and naming no copy
};

bool isNameChar(std::uint8_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
           c == '+' || c == '-';
}

// A copy of text metadata begins with the group's name and " {\n".
bool looksLikeCopyStart(ByteSpan bytes) {
    std::size_t n = 0;
    while (n < bytes.size() && n < 128 && isNameChar(bytes[n])) ++n;
    return n > 0 && fits(bytes.size(), n, 3) && bytes[n] == ' ' && bytes[n + 1] == '{' && bytes[n + 2] == '\n';
}

// The text of [offset, offset + size) of the circular buffer: what passes the
// area's end continues after its header.
std::string circularText(ByteSpan area, std::uint64_t offset, std::uint64_t size) {
    std::string text;
    if (offset < kMdaHeaderSize || offset >= area.size() || size > area.size() - kMdaHeaderSize) return text;
    const std::uint64_t first = std::min<std::uint64_t>(size, area.size() - offset);
    text.assign(reinterpret_cast<const char*>(area.data() + offset), first);
    text.append(reinterpret_cast<const char*>(area.data() + kMdaHeaderSize), size - first);
    return text;
}

std::string mbText(std::int64_t sectors) { return std::to_string(sectors / 2048) + "   MB"; }

void addNote(std::string& note, const std::string& text) { note += (note.empty() ? "" : " ") + text; }

}  // namespace

AreaRead readMetadataArea(const VolumeView& pv, const DiskArea& area) {
    AreaRead out;
    std::array<std::uint8_t, kMdaHeaderSize> head{};
    if (area.offset > static_cast<std::uint64_t>(pv.size()) ||
        !pv.readAt(static_cast<std::int64_t>(area.offset), head))
        return out;
    const std::optional<MdaHeader> header = decodeMdaHeader(head);
    if (!header || header->start != area.offset) return out;
    // The buffer as far as the area, the volume and the read bound allow.
    const std::uint64_t areaSize = area.size > 0 ? std::min(area.size, header->size) : header->size;
    const auto room = static_cast<std::uint64_t>(pv.size()) - area.offset;
    std::vector<std::uint8_t> buffer(
        static_cast<std::size_t>(std::min({areaSize, room, static_cast<std::uint64_t>(kMaxAreaBytes)})));
    if (buffer.size() <= kMdaHeaderSize) return out;
    pv.readAt(static_cast<std::int64_t>(area.offset), buffer);

    std::vector<std::uint64_t> failed;
    bool named = false;
    for (const RawLocation& loc : header->locations) {
        if (loc.flags & 1) continue;
        named = true;
        const std::string text = circularText(buffer, loc.offset, loc.size);
        if (text.empty() || crc(kCrcSeed, ByteSpan(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())) !=
                                loc.checksum) {
            failed.push_back(loc.offset);
            continue;
        }
        if (auto vg = parseVolumeGroup(text)) {
            out.copies.push_back({std::move(*vg), true});
            return out;
        }
        failed.push_back(loc.offset);
    }
    out.empty = !named;
    if (!named) return out;

    // Older copies: each begins on a sector boundary of the buffer and ends at
    // the first NUL after it (wrapping past the area's end). The one the
    // header names and that failed its checksum is not read again.
    std::size_t parsed = 0;
    for (std::uint64_t at = kMdaHeaderSize; at < buffer.size() && parsed < kMaxOlderCopies; at += kSector) {
        if (std::find(failed.begin(), failed.end(), at) != failed.end()) continue;
        const ByteSpan rest = ByteSpan(buffer).subspan(static_cast<std::size_t>(at));
        if (!looksLikeCopyStart(rest)) continue;
        ++parsed;
        const auto nul = std::find(rest.begin(), rest.end(), std::uint8_t{0});
        std::uint64_t length = static_cast<std::uint64_t>(nul - rest.begin());
        if (nul == rest.end()) {
            const ByteSpan wrapped = ByteSpan(buffer).subspan(kMdaHeaderSize, static_cast<std::size_t>(at - kMdaHeaderSize));
            length += static_cast<std::uint64_t>(std::find(wrapped.begin(), wrapped.end(), std::uint8_t{0}) - wrapped.begin());
        }
        if (length > kMaxTextBytes) continue;
        if (auto vg = parseVolumeGroup(circularText(buffer, at, length))) {
            out.copies.push_back({std::move(*vg), false});
            // The next copy begins after this one.
            if (nul != rest.end()) at += (length / kSector) * kSector;
        }
    }
    return out;
}

namespace {

// The kind whose boot record names `sector`, or nullptr.
const FsProbe* namedBy(std::span<const FsProbe> probes, ByteSpan sector) {
    for (const FsProbe& p : probes)
        if (p.bootRecord && p.bootRecord(sector, BootTest::PartitionTable).result == BootMatch::Result::Named) return &p;
    return nullptr;
}

}  // namespace

std::string contentName(std::span<const FsProbe> probes, const VolumeView& volume) {
    std::array<std::uint8_t, 3 * kSector> head{};
    volume.readAt(0, head);
    const FsProbe* kind = namedBy(probes, ByteSpan(head).first(kSector));
    for (const FsProbe& p : probes) {
        if (kind || !p.findBackup) continue;
        if (const auto backup = p.findBackup(volume)) kind = namedBy(probes, backup->sector);
    }
    const ByteSpan third = ByteSpan(head).subspan(2 * kSector);
    for (const FsProbe& p : probes)
        if (!kind && p.headerAt1024 && p.headerAt1024(third)) kind = &p;
    return kind ? kind->listName : "Unknown";
}

void addLogicalVolumes(const readWriteInterface& disk, std::span<const FsProbe> probes,
                       std::vector<VolumeRecord>& records) {
    const auto diskSectors = static_cast<std::int64_t>(disk.totalSectors());
    // Where physical volumes may begin: each listed partition, and the disk.
    std::vector<FoundPv> pvs;
    auto probe = [&](std::optional<std::size_t> record, std::int64_t start, std::int64_t count) {
        if (start < 0 || start >= diskSectors) return;
        if (std::any_of(pvs.begin(), pvs.end(), [&](const FoundPv& p) { return p.start == start * kSector; })) return;
        const VolumeView view(disk, start, count);
        std::array<std::uint8_t, kLabelSectors * kSector> head{};
        view.readAt(0, head);
        LabelDecode label = decodePvLabel(head);
        if (label.result != LabelResult::Found) return;
        FoundPv pv{record, start * kSector, view.size() / kSector, std::move(label.label), {}, true};
        for (const DiskArea& area : pv.label.metadataAreas) {
            AreaRead read = readMetadataArea(view, area);
            pv.areasEmpty = pv.areasEmpty && read.empty;
            for (MetadataCopy& c : read.copies) pv.copies.push_back(std::move(c));
        }
        pvs.push_back(std::move(pv));
    };
    const std::size_t partitions = records.size();
    for (std::size_t i = 0; i < partitions; ++i) probe(i, records[i].startSector, records[i].sectorCount);
    probe(std::nullopt, 0, -1);
    if (pvs.empty()) return;

    // Each group once, from its best copy: a latest copy before an older one,
    // then the highest sequence number.
    std::map<std::string, const MetadataCopy*> groups;
    std::vector<std::string> order;
    for (const FoundPv& pv : pvs)
        for (const MetadataCopy& c : pv.copies) {
            auto [it, added] = groups.try_emplace(c.vg.id, &c);
            if (added) order.push_back(c.vg.id);
            const MetadataCopy& best = *it->second;
            if ((c.latest && !best.latest) || (c.latest == best.latest && c.vg.seqno > best.vg.seqno)) it->second = &c;
        }

    std::vector<bool> claimed(pvs.size(), false);
    std::vector<VolumeRecord> added;
    for (const std::string& id : order) {
        const MetadataCopy& copy = *groups[id];
        const VolumeGroup& vg = copy.vg;
        std::vector<std::optional<std::int64_t>> starts;
        std::vector<std::string> missing;
        for (const PhysicalVolume& p : vg.pvs) {
            std::optional<std::int64_t> start;
            for (std::size_t i = 0; i < pvs.size(); ++i)
                if (pvs[i].label.uuid == plainUuid(p.uuid)) {
                    start = pvs[i].start;
                    claimed[i] = true;
                    break;
                }
            if (!start) missing.push_back(p.uuid);
            starts.push_back(start);
        }
        for (const LogicalVolume& lv : vg.lvs) {
            if (!lv.visible) continue;
            const LvLayout layout = layoutOf(vg, lv, starts);
            VolumeRecord r;
            r.name = vg.name + "/" + lv.name;
            r.fsName = "Unknown";
            r.sectorCount = layout.bytes / kSector;
            r.sizeMiBText = mbText(r.sectorCount);
            r.note = layout.refusal;
            if (layout.refusal.empty() && !layout.runs.empty()) {
                r.runs = layout.runs;
                const VolumeView view = volumeViewOf(disk, r);
                r.fsName = contentName(probes, view);
                std::int64_t contiguous = 0;
                r.startSector = MappedVolumeReader(disk, r.runs, layout.bytes).diskOffsetOf(0, contiguous) / kSector;
            }
            if (!missing.empty()) addNote(r.note, missingPvsText(vg.name, missing));
            if (!copy.latest) addNote(r.note, olderCopyText(vg.name, vg.seqno));
            added.push_back(std::move(r));
        }
    }

    // Physical volumes with metadata areas of which no group could be read.
    for (std::size_t i = 0; i < pvs.size(); ++i) {
        const FoundPv& pv = pvs[i];
        if (claimed[i] || !pv.copies.empty() || pv.areasEmpty) continue;
        const std::string text = noMetadataText(dashedUuid(pv.label.uuid));
        if (pv.record) {
            addNote(records[*pv.record].note, text);
        } else {
            VolumeRecord r;
            r.fsName = "Unknown";
            r.sectorCount = pv.sectors;
            r.sizeMiBText = mbText(pv.sectors);
            r.note = text;
            added.push_back(std::move(r));
        }
    }
    for (VolumeRecord& r : added) {
        r.volumeName = std::to_string(records.size());
        records.push_back(std::move(r));
    }
}

}  // namespace tavrel::lvm
