#include "volume/Partition.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <set>
#include <string>

#include "util/Bytes.h"
#include "util/Unicode.h"
#include "volume/BackupBoot.h"
#include "volume/BootSector.h"
#include "volume/LvmScan.h"

namespace tavrel {

namespace {

using Sector = std::array<std::uint8_t, kSectorSize>;

constexpr std::size_t kMbrTable = 0x1BE;
constexpr int kMaxExtendedRecords = 50;
constexpr std::size_t kGptEntrySize = 128;
constexpr std::size_t kGptReadBytes = 0x2800;   // 80 entries read
constexpr std::size_t kGptMaxEntries = 72;      // at most 0x2400 bytes collected
constexpr std::int64_t kProgressEnd = 1000;
constexpr std::int64_t kMaxHfsMiB = 20971519;   // 0x13FFFFF

// "N" followed by blanks and "MB": the MBR and NTFS forms use three blanks, the
// FAT, exFAT and HFS+ forms two.
std::string mbText(std::int64_t mib, int blanks) { return std::to_string(mib) + std::string(blanks, ' ') + "MB"; }

std::string countText(const char* before, int count) { return before + std::to_string(count) + "..."; }

// The status text of a boot record found by its sector (NTFS counts, below).
const char* foundText(BootKind kind) {
    switch (kind) {
        case BootKind::Fat32: return "found FAT 32...";
        case BootKind::Fat16: return "found FAT 16...";
        case BootKind::ExFat: return "found FAT 64...";
        case BootKind::FatUnknown: return "found unknown...";
        case BootKind::HfsPlus: return "found HFS+...";
        case BootKind::Ntfs:
        case BootKind::None: break;
    }
    return "";
}

// Reads one sector; false (without reading) when it lies outside the disk.
bool readSector(const readWriteInterface& reader, std::int64_t sector, Sector& out) {
    if (sector < 0 || static_cast<std::uint64_t>(sector) >= reader.totalSectors()) return false;
    return reader.readAt(sector * kSectorSize, out);
}

// The boot record a volume's backup copy describes (FAT32's in sector 6,
// exFAT's boot region from sector 12), for a volume whose first sector names
// none: the copy tells the volume's kind and size.
BootSectorMatch backupMatch(const readWriteInterface& reader, std::int64_t start) {
    if (start < 0 || static_cast<std::uint64_t>(start) >= reader.totalSectors()) return {};
    const auto backup = findBackupBootRecord(VolumeView(reader, start));
    if (!backup) return {};
    return testBootSector(backup->sector, BootTest::PartitionTable);
}

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

// Names the volume of a table entry by its type and shows the status text. Inside
// the extended chain (logical) type 0x42 is not recognised, NTFS shows no count
// and ext shows "found extx...".
std::string nameByType(const readWriteInterface& reader, std::uint8_t type, std::int64_t start, bool logical,
                       int& ntfsCount, WorkControl& work) {
    switch (type) {
        case 0x01:
            return "FAT12";
        case 0x04: case 0x06: case 0x0E:
            work.status("found FAT 16...");
            return "FAT16";
        case 0x07: {
            // exFAT by its boot sector, or, when that names no volume, by its backup.
            Sector boot{};
            const bool read = readSector(reader, start, boot);
            if ((read && isExfatBootSector(boot)) ||
                ((!read || testBootSector(boot, BootTest::PartitionTable).kind == BootKind::None) &&
                 backupMatch(reader, start).kind == BootKind::ExFat)) {
                work.status("found FAT64...");
                return "FAT64";
            }
            ++ntfsCount;
            work.status(logical ? std::string("found NTFS...") : countText("found NTFS ", ntfsCount));
            return "NTFS";
        }
        case 0x0B: case 0x0C:
            work.status("found FAT 32...");
            return "FAT32";
        case 0x42:
            if (logical) break;
            work.status("NTFS...");
            return "NTFS";
        case 0x83: {
            // Linux's type is shared by many file systems, and removable disks
            // often carry FAT or exFAT under it: the first sector decides.
            Sector boot{};
            const bool read = readSector(reader, start, boot);
            if (read && isExfatBootSector(boot)) {
                work.status("found FAT64...");
                return "FAT64";
            }
            BootSectorMatch m = read ? testBootSector(boot, BootTest::PartitionTable) : BootSectorMatch{};
            if (m.kind == BootKind::None) m = backupMatch(reader, start);
            if (m.kind == BootKind::ExFat) {
                work.status("found FAT64...");
                return "FAT64";
            }
            if (m.kind == BootKind::Ntfs || m.kind == BootKind::Fat32 || m.kind == BootKind::Fat16) {
                work.status(m.kind == BootKind::Ntfs ? "found NTFS..." : foundText(m.kind));
                return fsNameOf(m.kind);
            }
            work.status(logical ? "found extx..." : "found ext2...");
            return "extX";
        }
        case 0xAF:
            work.status("found HFS+...");
            return "HFS+";
        default:
            break;
    }
    work.status("found UNKNOWN...");
    return "Unknown";
}

// True when the sector at `sector` holds a boot record of the same kind and size.
bool sameBootRecordAt(const readWriteInterface& reader, std::int64_t sector, const BootSectorMatch& m) {
    Sector s{};
    if (sector < 0 || !readSector(reader, sector, s)) return false;
    const BootSectorMatch other = testBootSector(ByteSpan(s.data(), s.size()), BootTest::SectorScan);
    return other.kind == m.kind && other.sectors == m.sectors;
}

// True when the sector at `sector` begins a FAT of that kind: entry 0 holds
// the media byte 0xF8 (FAT32: in 28 bits), exFAT's entry 1 is 0xFFFFFFFF.
bool fatStartsAt(const readWriteInterface& reader, std::int64_t sector, BootKind kind) {
    Sector s{};
    if (sector < 0 || !readSector(reader, sector, s)) return false;
    if (kind == BootKind::Fat32) return (le32(s, 0) & 0x0FFFFFFF) == 0x0FFFFFF8;
    return le32(s, 0) == 0xFFFFFFF8 && le32(s, 4) == 0xFFFFFFFF;
}

// The first sector of the volume whose backup boot record this is, if it is one.
// NTFS keeps its backup in the sector after the counted ones, and its
// hidden-sectors field (which names the volume's first sector when the volume
// lies in a partition) tells the two copies apart; FAT32 names the backup's
// distance (usually 6) in its own record, exFAT keeps its copy 12 sectors in.
// When the primary is lost, the FAT tells them apart: the record's own FAT
// offset leads to a FAT only when counted from the volume's true start.
std::optional<std::int64_t> backupOf(const readWriteInterface& reader, ByteSpan sector, std::int64_t here,
                                     const BootSectorMatch& m) {
    if (m.kind == BootKind::Ntfs && m.sectors > 0 && here - m.sectors >= 0) {
        const std::int64_t primary = here - m.sectors;
        const auto hidden = static_cast<std::int64_t>(le32(sector, 0x1C));
        if ((hidden == primary && hidden != here) || sameBootRecordAt(reader, primary, m)) return primary;
    }
    if (m.kind == BootKind::Fat32 || m.kind == BootKind::ExFat) {
        const bool fat32 = m.kind == BootKind::Fat32;
        const std::int64_t distance = fat32 ? le16(sector, 0x32) : kExFatBackupSector;
        const std::int64_t fatSector = fat32 ? le16(sector, 0x0E) : le32(sector, 0x50);
        const std::int64_t primary = here - distance;
        if (distance < 1 || distance >= 64 || primary < 0) return std::nullopt;
        if (sameBootRecordAt(reader, primary, m)) return primary;
        if (fatSector > 0 && fatStartsAt(reader, primary + fatSector, m.kind) &&
            !fatStartsAt(reader, here + fatSector, m.kind))
            return primary;
    }
    return std::nullopt;
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

Partition::Partition(const readWriteInterface& reader) : reader_(reader) {}

std::vector<VolumeRecord> Partition::standardScan(bool gpt) {
    WorkControl work;
    return standardScan(gpt, work);
}

std::vector<VolumeRecord> Partition::standardScan(bool gpt, WorkControl& work) {
    // The GPT option alone chooses the path; the header's signature plays no part.
    std::array<std::uint8_t, 2 * kSectorSize> first{};
    const bool readable = reader_.readAt(0, first);
    auto records = (gpt && readable) ? scanGpt(work) : scanMbr(work);
    // LVM2 logical volumes in the partitions, or on the whole disk, follow them.
    lvm::addLogicalVolumes(reader_, records);
    work.position(kProgressEnd);
    return records;
}

std::vector<VolumeRecord> Partition::scanMbr(WorkControl& work) {
    RecordList out;
    Sector mbr{};
    if (!readSector(reader_, 0, mbr)) return {};
    int ntfsCount = 0;

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
            out.add(nameByType(reader_, e.type, start, logical, ntfsCount, work), mbText(e.count / 2048, 3), start,
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
        bool appleHfs;  // type GUID 48465300-0000-11AA-AA11-00306543ECAC
    };
    std::vector<Entry> entries;
    for (std::size_t i = 0; i < kGptMaxEntries; ++i) {
        const ByteSpan e = subSpan(array, i * kGptEntrySize, kGptEntrySize);
        const auto first = static_cast<std::int64_t>(le64(e, 0x20));
        if (first <= 2 || e[0] == 0x30 || e[1] == 0x30 || e[2] == 0x30 || e[3] == 0x30) break;
        static constexpr std::uint8_t kAppleHfs[16] = {0x00, 0x53, 0x46, 0x48, 0x00, 0x00, 0xAA, 0x11,
                                                       0xAA, 0x11, 0x00, 0x30, 0x65, 0x43, 0xEC, 0xAC};
        entries.push_back({first, static_cast<std::int64_t>(le64(e, 0x28)), utf8FromUtf16le(subSpan(e, 0x38, 72), true),
                           std::equal(e.begin(), e.begin() + 16, std::begin(kAppleHfs))});
    }

    int ntfsCount = 0;
    for (const Entry& entry : entries) {
        Sector boot{};
        if (!readSector(reader_, entry.first, boot)) break;  // an unreadable partition ends the scan
        if (entry.name == "Microsoft reserved partition") continue;
        const std::int64_t extent = entry.last >= entry.first ? entry.last - entry.first + 1 : -1;

        BootSectorMatch m = testBootSector(boot, BootTest::PartitionTable);
        // A first sector that names nothing: the volume's backup boot record, if any.
        if (m.kind == BootKind::None) m = backupMatch(reader_, entry.first);
        bool recognised = true;
        switch (m.kind) {
            case BootKind::Ntfs:
                if (m.sectors / 2048 > 0) {
                    work.status(countText("found NTFS ", ++ntfsCount));
                    out.add("NTFS", mbText(m.sectors / 2048, 3), entry.first, extent);
                }
                break;
            case BootKind::Fat32:
            case BootKind::Fat16:
            case BootKind::ExFat:
                work.status(foundText(m.kind));
                if (m.sectors / 2048 > 0) out.add(fsNameOf(m.kind), mbText(m.sectors / 2048, 2), entry.first, extent);
                break;
            case BootKind::FatUnknown:
                work.status(foundText(m.kind));
                break;
            default:
                recognised = false;
                break;
        }
        if (work.stopRequested()) break;
        if (recognised) continue;
        // Any other first sector: HFS+ when the partition's type says so or its
        // third sector holds the volume header, ext when that sector holds an ext
        // superblock (magic 0xEF53 at byte 56 of the superblock at volume byte
        // 1024), otherwise the entry's own name; the size has no unit.
        Sector third{};
        const bool readThird = readSector(reader_, entry.first + 2, third);
        const bool hfs = entry.appleHfs || (readThird && isHfsPlusHeader(third));
        const bool ext = readThird && !hfs && le16(third, 56) == 0xEF53;
        const auto span = static_cast<std::int64_t>((static_cast<__int128>(entry.last) - entry.first) / 2048);
        out.add(hfs ? "HFS+" : ext ? "extX" : entry.name, std::to_string(span), entry.first, extent);
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
    int ntfsCount = 0;
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
            // Every boot record this scan knows begins with 0xEB or "H+".
            if (p[0] != 0xEB && p[0] != 0x48) {
                ++i;
                continue;
            }
            const std::int64_t here = chunkStart + i;
            const BootSectorMatch m = testBootSector(ByteSpan(p, kSectorSize), BootTest::SectorScan);
            std::int64_t mib = m.sectors / 2048;
            std::int64_t start = here - m.sectorsBefore;
            std::int64_t extent = m.sectors;
            bool found = false;
            // A backup boot record is never a volume of its own: it is skipped when
            // its volume is listed or its primary record is sound, and stands for
            // its volume when the primary is lost and it could not begin one.
            if (const std::optional<std::int64_t> primary = backupOf(reader_, ByteSpan(p, kSectorSize), here, m)) {
                const bool listed = std::any_of(out.records.begin(), out.records.end(),
                                                [&](const VolumeRecord& r) { return r.startSector == *primary; });
                if (listed || sameBootRecordAt(reader_, *primary, m)) {
                    ++i;
                    continue;
                }
                start = *primary;
            }
            switch (m.kind) {
                case BootKind::HfsPlus:
                    // The header sits 1024 bytes into its volume, so never in sectors 0 and 1.
                    found = mib >= 1 && mib <= kMaxHfsMiB && start >= 0;
                    if (found) work.status(foundText(m.kind));
                    break;
                case BootKind::Ntfs:
                    if (mib > 0) {
                        found = true;
                        work.status(countText("found NTFS ", ++ntfsCount));
                        // The backup boot sector follows the counted sectors and
                        // still belongs to the volume: skipping only the counted
                        // sectors would land on it and list the volume twice.
                        extent = m.sectors < INT64_MAX ? m.sectors + 1 : m.sectors;
                    }
                    break;
                case BootKind::Fat32:
                case BootKind::Fat16:
                case BootKind::ExFat:
                case BootKind::FatUnknown:
                    work.status(foundText(m.kind));
                    found = m.kind != BootKind::FatUnknown && mib > 0;
                    break;
                case BootKind::None:
                    break;
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
            const VolumeRecord& r = out.add(fsNameOf(m.kind), mbText(mib, m.kind == BootKind::Ntfs ? 3 : 2), start, extent);
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

bool hasGptHeader(const readWriteInterface& reader) {
    Sector header{};
    return readSector(reader, 1, header) && std::memcmp(header.data(), "EFI PART", 8) == 0;
}

}  // namespace tavrel
