#include "volume/Partition.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "util/Bytes.h"
#include "util/Unicode.h"

namespace tavrel {

namespace {

using Sector = std::array<std::uint8_t, kSectorSize>;

constexpr std::size_t kMbrTable = 0x1BE;
constexpr int kMaxExtendedRecords = 50;
constexpr std::size_t kGptEntrySize = 128;
constexpr std::size_t kGptReadBytes = 0x2800;   // 80 entries read
constexpr std::size_t kGptMaxEntries = 72;      // at most 0x2400 bytes collected
constexpr std::int64_t kProgressEnd = 1000;

// "N" followed by blanks and "MB": the MBR form uses three blanks, the probes
// name theirs for the other scans.
std::string mbText(std::int64_t mib, int blanks) { return std::to_string(mib) + std::string(blanks, ' ') + "MB"; }

// Reads one sector; false (without reading) when it lies outside the disk.
bool readSector(const readWriteInterface& reader, std::int64_t sector, Sector& out) {
    if (sector < 0 || static_cast<std::uint64_t>(sector) >= reader.totalSectors()) return false;
    return reader.readAt(sector * kSectorSize, out);
}

// A boot record found, and the probe that knows it.
struct Found {
    const FsProbe* probe = nullptr;
    BootMatch match;
    bool named() const { return probe && match.result == BootMatch::Result::Named; }
};

// The first probe that knows the sector.
Found testBootRecord(std::span<const FsProbe> probes, ByteSpan sector, BootTest test) {
    for (const FsProbe& p : probes) {
        if (!p.bootRecord) continue;
        const BootMatch m = p.bootRecord(sector, test);
        if (m.found()) return {&p, m};
    }
    return {};
}

// The boot record a volume's backup copy describes, for a volume whose first
// sector names none: the copy tells the volume's kind and size.
Found backupMatch(std::span<const FsProbe> probes, const readWriteInterface& reader, std::int64_t start) {
    if (start < 0 || static_cast<std::uint64_t>(start) >= reader.totalSectors()) return {};
    const VolumeView volume(reader, start);
    for (const FsProbe& p : probes) {
        if (!p.findBackup) continue;
        if (const auto backup = p.findBackup(volume)) return testBootRecord(probes, backup->sector, BootTest::PartitionTable);
    }
    return {};
}

// The status texts of one scan; "%d" in a text is its kind's count of finds,
// counted each time the text is shown.
class StatusTexts {
public:
    explicit StatusTexts(WorkControl& work) : work_(work) {}
    void show(const FsProbe& probe, const char* text) {
        if (!text) return;
        std::string out(text);
        if (const auto at = out.find("%d"); at != std::string::npos)
            out.replace(at, 2, std::to_string(++counts_[&probe]));
        work_.status(out);
    }
    void show(const char* text) { work_.status(text); }

private:
    WorkControl& work_;
    std::map<const FsProbe*, int> counts_;
};

struct MbrEntry {
    std::uint8_t type;
    std::uint32_t start;
    std::uint32_t count;
};

MbrEntry mbrEntry(const Sector& table, int index) {
    const ByteSpan e = subSpan(table, kMbrTable + 16 * static_cast<std::size_t>(index), 16);
    return {e[4], le32(e, 8), le32(e, 12)};
}

bool isExtended(std::uint8_t type) { return type == 0x05 || type == 0x0F; }

// Names the volume of a table entry by the probes' claims on its type and
// shows the status text. A type claimed outright names its kind; otherwise the
// partition's first sector (or, when no kind knows it, its backup boot record)
// names the claimant whose boot record it is, else the type's fallback kind.
std::string nameByType(std::span<const FsProbe> probes, const readWriteInterface& reader, std::uint8_t type,
                       std::int64_t start, bool logical, StatusTexts& status) {
    struct Claimant {
        const FsProbe* probe;
        const MbrClaim* claim;
    };
    std::vector<Claimant> claims;
    for (const FsProbe& p : probes)
        for (const MbrClaim& c : p.mbrTypes)
            if (c.type == type && !(logical && c.primaryOnly)) claims.push_back({&p, &c});
    auto named = [&](const Claimant& c) {
        status.show(*c.probe, logical && c.claim->logicalStatus ? c.claim->logicalStatus : c.claim->status);
        return std::string(c.claim->name ? c.claim->name : c.probe->listName);
    };
    const Claimant* fallback = nullptr;
    bool byBootRecord = false;
    for (const Claimant& c : claims) {
        if (c.claim->rule == MbrRule::Outright) return named(c);
        if (c.claim->rule == MbrRule::Fallback && !fallback) fallback = &c;
        if (c.claim->rule == MbrRule::BootRecord) byBootRecord = true;
    }
    if (byBootRecord) {
        Sector boot{};
        Found f = readSector(reader, start, boot) ? testBootRecord(probes, boot, BootTest::PartitionTable) : Found{};
        if (!f.probe) f = backupMatch(probes, reader, start);
        if (f.named())
            for (const Claimant& c : claims)
                if (c.probe == f.probe && c.claim->rule == MbrRule::BootRecord) return named(c);
    }
    if (fallback) return named(*fallback);
    status.show("found UNKNOWN...");
    return "Unknown";
}

// True when the sector at `sector` holds a boot record of the same kind and size.
bool sameBootRecordAt(std::span<const FsProbe> probes, const readWriteInterface& reader, std::int64_t sector,
                      const Found& f) {
    Sector s{};
    if (sector < 0 || !readSector(reader, sector, s)) return false;
    const Found other = testBootRecord(probes, s, BootTest::SectorScan);
    return other.probe == f.probe && other.match.result == f.match.result && other.match.sectors == f.match.sectors;
}

// Collects records with consecutive ordinals.
class RecordList {
public:
    VolumeRecord& add(std::string fsName, std::string sizeText, std::int64_t start, std::int64_t count) {
        VolumeRecord r;
        r.fsName = std::move(fsName);
        r.volumeName = std::to_string(records.size());
        r.sizeMiBText = std::move(sizeText);
        r.startSector = start;
        r.sectorCount = count;
        records.push_back(std::move(r));
        return records.back();
    }
    std::vector<VolumeRecord> records;
};

}  // namespace

Partition::Partition(const readWriteInterface& reader, std::span<const FsProbe> probes)
    : reader_(reader), probes_(probes) {}

std::vector<VolumeRecord> Partition::standardScan(bool gpt) {
    WorkControl work;
    return standardScan(gpt, work);
}

std::vector<VolumeRecord> Partition::standardScan(bool gpt, WorkControl& work) {
    // The GPT option alone chooses the path; the header's signature plays no part.
    std::array<std::uint8_t, 2 * kSectorSize> first{};
    const bool readable = reader_.readAt(0, first);
    auto records = (gpt && readable) ? scanGpt(work) : scanMbr(work);
    work.position(kProgressEnd);
    return records;
}

std::vector<VolumeRecord> Partition::scanMbr(WorkControl& work) {
    RecordList out;
    Sector mbr{};
    if (!readSector(reader_, 0, mbr)) return {};
    StatusTexts status(work);

    // Walks the four entries of one table in order, appending a record per
    // volume (volume starts relative to volumeBase). The walk stops at the first
    // empty entry, or at a link to an extended partition, whose position
    // (relative to linkBase) it returns; entries after it are not examined.
    auto walk = [&](const Sector& table, std::int64_t volumeBase, std::int64_t linkBase,
                    bool logical) -> std::optional<std::int64_t> {
        for (int i = 0; i < 4; ++i) {
            const MbrEntry e = mbrEntry(table, i);
            if (e.type == 0) break;
            if (isExtended(e.type)) return linkBase + e.start;
            const std::int64_t start = volumeBase + e.start;
            out.add(nameByType(probes_, reader_, e.type, start, logical, status), mbText(e.count / 2048, 3), start,
                    e.count);
        }
        return std::nullopt;
    };
    const std::optional<std::int64_t> extendedBase = walk(mbr, 0, 0, false);

    // The chain of extended boot records. Links are relative to the extended
    // partition's start, logical volumes to their own record. A chain that
    // points back at a record already read ends there, so a damaged or hostile
    // chain cannot loop; 50 records at most in any case.
    std::set<std::int64_t> visited;
    std::optional<std::int64_t> ebr = extendedBase;
    for (int n = 0; ebr && n < kMaxExtendedRecords; ++n) {
        Sector table{};
        if (!visited.insert(*ebr).second || !readSector(reader_, *ebr, table)) break;
        ebr = walk(table, *ebr, *extendedBase, true);
    }
    return std::move(out.records);
}

std::vector<VolumeRecord> Partition::scanGpt(WorkControl& work) {
    RecordList out;
    Sector header{};
    if (!readSector(reader_, 1, header)) return {};

    // The entry array starts at the header's Partition Entry LBA (all 64 bits),
    // which must lie on the disk; what of the 80 entries lies beyond the disk's
    // end reads as zeros and so ends the collection.
    const auto arrayLba = le64(header, 72);
    if (arrayLba >= reader_.totalSectors()) return {};
    std::vector<std::uint8_t> array(kGptReadBytes);
    reader_.readAt(static_cast<std::int64_t>(arrayLba) * kSectorSize, array);

    struct Entry {
        std::int64_t first;
        std::int64_t last;
        std::string name;
        const FsProbe* byType;  // the probe claiming the entry's type GUID, if any
    };
    std::vector<Entry> entries;
    for (std::size_t i = 0; i < kGptMaxEntries; ++i) {
        const ByteSpan e = subSpan(array, i * kGptEntrySize, kGptEntrySize);
        const auto first = static_cast<std::int64_t>(le64(e, 0x20));
        if (first <= 2 || e[0] == 0x30 || e[1] == 0x30 || e[2] == 0x30 || e[3] == 0x30) break;
        const FsProbe* byType = nullptr;
        for (const FsProbe& p : probes_)
            for (const Guid& g : p.gptTypes)
                if (!byType && std::equal(g.begin(), g.end(), e.begin())) byType = &p;
        entries.push_back(
            {first, static_cast<std::int64_t>(le64(e, 0x28)), utf8FromUtf16le(subSpan(e, 0x38, 72), true), byType});
    }

    StatusTexts status(work);
    for (const Entry& entry : entries) {
        Sector boot{};
        if (!readSector(reader_, entry.first, boot)) break;  // an unreadable partition ends the scan
        if (entry.name == "Microsoft reserved partition") continue;
        const std::int64_t extent = entry.last >= entry.first ? entry.last - entry.first + 1 : -1;

        Found f = testBootRecord(probes_, boot, BootTest::PartitionTable);
        // A first sector that names nothing: the volume's backup boot record, if any.
        if (!f.probe) f = backupMatch(probes_, reader_, entry.first);
        if (f.named()) {
            const FsProbe& p = *f.probe;
            const std::int64_t mib = f.match.sectors / 2048;
            if (mib > 0 || !p.statusOnlyWhenListed) status.show(p, p.foundStatus);
            if (mib > 0) out.add(p.listName, mbText(mib, p.sizeBlanks), entry.first, extent);
        } else if (f.probe) {
            status.show(*f.probe, f.probe->unnamedStatus);
        }
        if (work.stopRequested()) break;
        if (f.probe) continue;
        // Any other first sector: the kind its type GUID names, else the kind
        // whose header the third sector (volume byte 1024) holds, otherwise the
        // entry's own name; the size has no unit.
        Sector third{};
        const bool readThird = readSector(reader_, entry.first + 2, third);
        const FsProbe* kind = entry.byType;
        for (const FsProbe& p : probes_)
            if (!kind && readThird && p.headerAt1024 && p.headerAt1024(third)) kind = &p;
        const auto span = static_cast<std::int64_t>((static_cast<__int128>(entry.last) - entry.first) / 2048);
        out.add(kind ? kind->listName : entry.name, std::to_string(span), entry.first, extent);
    }
    return std::move(out.records);
}

std::vector<VolumeRecord> Partition::advancedScan(WorkControl& work, bool noSkip, std::int64_t startSector,
                                                  std::int64_t endSector,
                                                  const std::function<void(const VolumeRecord&)>& onFound) {
    RecordList out;
    const auto total = static_cast<std::int64_t>(reader_.totalSectors());
    const std::int64_t first = startSector > 0 ? startSector : 0;
    const std::int64_t last = endSector > 0 ? std::min(endSector, total - 1) : total - 1;
    work.status("Scanning partition.....");
    work.range(0, kProgressEnd);

    if (first > last) return {};
    const std::int64_t bufferSectors = std::min(kScanChunkSectors, last - first + 1);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(bufferSectors * kSectorSize));
    StatusTexts status(work);
    // The first bytes a boot record can begin with: other sectors are passed over.
    std::array<bool, 256> firstByte{};
    for (const FsProbe& p : probes_) {
        if (!p.bootRecord) continue;
        if (p.firstBytes.empty()) firstByte.fill(true);
        for (std::uint8_t b : p.firstBytes) firstByte[b] = true;
    }
    std::int64_t shownPermille = -1;
    auto showProgress = [&](std::int64_t at) {
        const auto permille = static_cast<std::int64_t>(static_cast<double>(at) / static_cast<double>(total) * 1000.0);
        if (permille != shownPermille) {
            shownPermille = permille;
            work.position(permille);
        }
    };
    std::int64_t sector = first;
    while (sector <= last) {
        if (!work.checkpoint()) {
            work.status("Scanned Partitions");
            break;
        }
        const std::int64_t chunkStart = sector;
        const std::int64_t count = std::min(kScanChunkSectors, last - chunkStart + 1);
        // Nothing can be found where the image stores nothing (a sparse image
        // claiming a huge disk): the scan jumps to the next stored byte.
        if (reader_.isUnallocated(chunkStart * kSectorSize, count * kSectorSize)) {
            sector = std::max(chunkStart + count, reader_.nextStored((chunkStart + count) * kSectorSize) / kSectorSize);
            showProgress(sector);
            continue;
        }
        const MutableByteSpan chunk(buffer.data(), static_cast<std::size_t>(count * kSectorSize));
        if (!reader_.readAt(chunkStart * kSectorSize, chunk)) break;  // a read error ends the scan

        std::int64_t i = 0;
        while (i < count) {
            const std::uint8_t* p = chunk.data() + i * kSectorSize;
            if (!firstByte[p[0]]) {
                ++i;
                continue;
            }
            const std::int64_t here = chunkStart + i;
            const ByteSpan sectorBytes(p, kSectorSize);
            const Found f = testBootRecord(probes_, sectorBytes, BootTest::SectorScan);
            if (!f.probe) {
                ++i;
                continue;
            }
            const FsProbe& kind = *f.probe;
            const BootMatch& m = f.match;
            std::int64_t mib = m.sectors / 2048;
            std::int64_t start = here - m.sectorsBefore;
            std::int64_t extent = m.sectors;
            // A backup boot record is never a volume of its own: it is skipped when
            // its volume is listed or its primary record is sound, and stands for
            // its volume when the primary is lost and it could not begin one.
            const std::optional<std::int64_t> primary =
                f.named() && kind.backupPrimary ? kind.backupPrimary(reader_, sectorBytes, here, m.sectors)
                                                : std::nullopt;
            if (primary) {
                const bool listed = std::any_of(out.records.begin(), out.records.end(),
                                                [&](const VolumeRecord& r) { return r.startSector == *primary; });
                if (listed || sameBootRecordAt(probes_, reader_, *primary, f)) {
                    ++i;
                    continue;
                }
                start = *primary;
            }
            bool found = false;
            if (f.named()) {
                // A volume header inside its volume (HFS+: 1024 bytes in) never
                // lies before the disk's start.
                found = mib > 0 && start >= 0 && (kind.maxScanMiB == 0 || mib <= kind.maxScanMiB);
                if (found || !kind.statusOnlyWhenListed) status.show(kind, kind.foundStatus);
                // Sectors after the counted ones that still belong to the volume
                // (NTFS's backup boot sector): skipping only the counted sectors
                // would land on them and list the volume twice.
                if (found) extent = m.sectors <= INT64_MAX - kind.trailingSectors ? m.sectors + kind.trailingSectors : m.sectors;
            } else {
                status.show(kind, kind.unnamedStatus);
            }
            if (!found) {
                ++i;
                continue;
            }
            // No record reaches past the disk's last sector.
            if (extent > total - start) {
                extent = total - start;
                mib = extent / 2048;
            }
            const VolumeRecord& r = out.add(kind.listName, mbText(mib, kind.sizeBlanks), start, extent);
            if (onFound) onFound(r);
            // Skip the volume: on to its first sector after it, but never backwards
            // and never past the end of the range (a size beyond the disk still
            // gives its record; the scan then ends).
            if (noSkip) {
                ++i;
            } else {
                const std::int64_t after = extent > last - start ? last + 1 : start + extent;
                i = std::max(here + 1, after) - chunkStart;
            }
        }
        sector = chunkStart + i;
        showProgress(sector);
    }
    return std::move(out.records);
}

const FsProbe* probeByBackupRecord(std::span<const FsProbe> probes, const VolumeView& volume) {
    for (const FsProbe& p : probes)
        if (p.findBackup && p.findBackup(volume)) return &p;
    return nullptr;
}

bool hasGptHeader(const readWriteInterface& reader) {
    Sector header{};
    return readSector(reader, 1, header) && std::memcmp(header.data(), "EFI PART", 8) == 0;
}

}  // namespace tavrel
