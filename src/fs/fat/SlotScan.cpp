#include "fs/fat/SlotScan.h"

#include <algorithm>
#include <array>
#include <limits>

#include "fs/fat/FatDirSlot.h"

namespace tavrel::fs::fat {

namespace {

constexpr std::size_t kEntry = 32;

bool validDosDate(std::uint16_t date) {
    if (date == 0) return true;  // never set
    const unsigned month = (date >> 5) & 0x0F;
    const unsigned day = date & 0x1F;
    return month >= 1 && month <= 12 && day >= 1;
}

bool validDosTime(std::uint16_t time) { return (time >> 11) < 24 && ((time >> 5) & 0x3F) < 60 && (time & 0x1F) < 30; }

bool clusterInside(std::uint32_t c, const SlotLimits& limits) {
    if (c < 2) return false;
    return limits.clusterCount == 0 || static_cast<std::uint64_t>(c) < std::uint64_t{limits.clusterCount} + 2;
}

bool sizeInside(std::uint64_t bytes, const SlotLimits& limits) { return limits.maxBytes == 0 || bytes <= limits.maxBytes; }

// Characters an 8.3 name may hold: no control characters and none of
// " * + , . / : ; < = > ? [ \ ] |. Lower-case letters are accepted, as some
// writers store them; bytes of 0x80 and above are code-page characters.
bool shortNameChar(std::uint8_t c) {
    if (c < 0x20 || c == 0x7F) return false;
    switch (c) {
    case '"': case '*': case '+': case ',': case '.': case '/': case ':': case ';':
    case '<': case '=': case '>': case '?': case '[': case '\\': case ']': case '|':
        return false;
    default:
        return true;
    }
}

bool isDotName(ByteSpan s) {
    if (s[0] != '.') return false;
    const std::size_t spacesFrom = s[1] == '.' ? 2 : 1;
    for (std::size_t i = spacesFrom; i < 11; ++i)
        if (s[i] != ' ') return false;
    return true;
}

bool plausibleShortName(ByteSpan s) {
    const std::uint8_t first = s[0];
    // 0xE5 marks a deleted slot, 0x05 a name whose real first character is 0xE5.
    if (first != kDeletedMark && first != 0x05 && (first == ' ' || !shortNameChar(first))) return false;
    for (std::size_t i = 1; i < 11; ++i)
        if (!shortNameChar(s[i])) return false;
    // Blanks only pad: the base name does not continue after one.
    bool blank = false;
    for (std::size_t i = 1; i < 8; ++i) {
        if (s[i] == ' ') blank = true;
        else if (blank) return false;
    }
    blank = false;
    for (std::size_t i = 8; i < 11; ++i) {
        if (s[i] == ' ') blank = true;
        else if (blank) return false;
    }
    return true;
}

bool plausibleLongName(ByteSpan s) {
    if (s[12] != 0 || le16(s, 26) != 0) return false;
    const std::uint8_t sequence = s[0];
    if (sequence != kDeletedMark) {
        const unsigned number = sequence & 0x1F;
        if (number < 1 || number > 20 || (sequence & 0xA0) != 0) return false;
    }
    static constexpr std::size_t offsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    bool ended = false;
    for (std::size_t i = 0; i < 13; ++i) {
        const std::uint16_t unit = le16(s, offsets[i]);
        if (ended) {
            if (unit != 0xFFFF) return false;
        } else if (unit == 0) {
            if (i == 0) return false;  // a part holds at least one character
            ended = true;
        } else if (unit == 0xFFFF || unit < 0x20) {
            return false;
        }
    }
    return true;
}

bool validExFatTimestamp(std::uint32_t t) {
    if (t == 0) return true;
    const unsigned month = (t >> 21) & 0x0F;
    const unsigned day = (t >> 16) & 0x1F;
    return month >= 1 && month <= 12 && day >= 1 && validDosTime(static_cast<std::uint16_t>(t & 0xFFFF));
}

// Type code bit 0x40: a secondary entry (stream, name, vendor extension...).
bool isSecondaryType(std::uint8_t type) { return (type & 0x40) != 0; }

// Entry types a directory cluster may hold besides the file entry sets: the
// bitmap, up-case table, label, GUID and padding entries, stream, name and
// vendor entries left over from older sets, and their deleted forms.
bool knownExFatType(std::uint8_t type) {
    switch (type & 0x7F) {
    case 0x01: case 0x02: case 0x03: case 0x20: case 0x21: case 0x22:
    case 0x40: case 0x41: case 0x42: case 0x60:
        return true;
    default:
        return false;
    }
}

}  // namespace

FatSlotKind classifyFatSlot(ByteSpan slot, const SlotLimits& limits) {
    if (slot.size() < kSlotSize) return FatSlotKind::Invalid;
    const ByteSpan s = slot.first(kSlotSize);
    if (s[0] == 0x00) return FatSlotKind::Empty;
    const std::uint8_t attributes = s[11];
    if (attributes == kLongNameAttributes) return plausibleLongName(s) ? FatSlotKind::LongName : FatSlotKind::Invalid;
    if ((attributes & 0xC0) != 0) return FatSlotKind::Invalid;
    const bool folder = (attributes & 0x10) != 0;
    const bool label = (attributes & 0x08) != 0;
    if (folder && label) return FatSlotKind::Invalid;
    if (isDotName(s)) return folder ? FatSlotKind::Dot : FatSlotKind::Invalid;
    if (!plausibleShortName(s)) return FatSlotKind::Invalid;
    if ((s[12] & ~0x18) != 0 || s[13] > 199) return FatSlotKind::Invalid;
    if (!validDosTime(le16(s, 14)) || !validDosDate(le16(s, 16)) || !validDosDate(le16(s, 18)) ||
        !validDosTime(le16(s, 22)) || !validDosDate(le16(s, 24)))
        return FatSlotKind::Invalid;
    if (label) return FatSlotKind::Label;
    const std::uint32_t cluster = (std::uint32_t{le16(s, 20)} << 16) | le16(s, 26);
    const std::uint32_t size = le32(s, 28);
    if (folder) return size == 0 && clusterInside(cluster, limits) ? FatSlotKind::Short : FatSlotKind::Invalid;
    if (!sizeInside(size, limits)) return FatSlotKind::Invalid;
    // An empty file has no cluster; a file with content needs one.
    if (cluster == 0) return FatSlotKind::Short;
    return clusterInside(cluster, limits) ? FatSlotKind::Short : FatSlotKind::Invalid;
}

std::uint16_t exFatSetChecksum(ByteSpan set, std::size_t entries) {
    std::uint16_t sum = 0;
    const std::size_t bytes = std::min(set.size(), entries * kEntry);
    for (std::size_t i = 0; i < bytes; ++i) {
        if (i == 2 || i == 3) continue;
        std::uint8_t b = set[i];
        if (i % kEntry == 0) b |= 0x80;
        sum = static_cast<std::uint16_t>(((sum & 1) ? 0x8000 : 0) + (sum >> 1) + b);
    }
    return sum;
}

std::size_t plausibleExFatSet(ByteSpan bytes, std::size_t offset, const SlotLimits& limits) {
    const ByteSpan file = subSpan(bytes, offset, kEntry);
    if (file.empty() || (file[0] != 0x85 && file[0] != 0x05)) return 0;
    const std::uint8_t inUse = file[0] & 0x80;
    const std::size_t secondaries = file[1];
    if (secondaries < 2 || secondaries > 18) return 0;
    const std::size_t entries = secondaries + 1;
    const ByteSpan set = subSpan(bytes, offset, entries * kEntry);
    if (set.empty()) return 0;

    if ((le16(file, 4) & ~0x37u) != 0) return 0;
    for (const std::size_t at : {8u, 12u, 16u})
        if (!validExFatTimestamp(le32(file, at))) return 0;
    if (file[20] > 199 || file[21] > 199) return 0;

    const ByteSpan stream = set.subspan(kEntry, kEntry);
    if (stream[0] != (0x40 | inUse)) return 0;
    const std::uint8_t flags = stream[1];
    const std::size_t nameLength = stream[3];
    if ((flags & 0xFC) != 0 || nameLength == 0) return 0;
    const std::size_t names = (nameLength + 14) / 15;
    if (1 + names > secondaries) return 0;
    const std::uint64_t valid = le64(stream, 8);
    const std::uint32_t cluster = le32(stream, 20);
    const std::uint64_t length = le64(stream, 24);
    if (valid > length || !sizeInside(length, limits)) return 0;
    if ((flags & 0x01) == 0) {
        if (cluster != 0 || length != 0) return 0;
    } else if (!(length == 0 && cluster == 0) && !clusterInside(cluster, limits)) {
        return 0;
    }
    for (std::size_t k = 2; k < entries; ++k) {
        const std::uint8_t type = set[k * kEntry];
        if ((type & 0x80) != inUse) return 0;
        if (k < 2 + names ? (type & 0x7F) != 0x41 : !isSecondaryType(type & 0x7F)) return 0;
    }
    if (exFatSetChecksum(set, entries) != le16(file, 2)) return 0;
    return entries;
}

bool looksLikeDirectory(SlotFamily family, ByteSpan cluster, const SlotLimits& limits, DirectoryLook* look) {
    DirectoryLook found;
    const std::size_t slots = cluster.size() / kEntry;
    if (family == SlotFamily::Fat) {
        // A pending run of live long-name slots and the checksum they carry.
        bool pendingLive = false;
        std::uint8_t pendingSum = 0;
        for (std::size_t i = 0; i < slots; ++i) {
            const ByteSpan s = cluster.subspan(i * kEntry, kEntry);
            const FatSlotKind kind = classifyFatSlot(s, limits);
            switch (kind) {
            case FatSlotKind::Invalid:
                return false;
            case FatSlotKind::LongName:
                if (s[0] != kDeletedMark) {
                    if (pendingLive && s[13] != pendingSum) return false;
                    pendingLive = true;
                    pendingSum = s[13];
                } else {
                    pendingLive = false;
                }
                continue;
            case FatSlotKind::Short:
                if (pendingLive && s[0] != kDeletedMark) {
                    std::array<std::uint8_t, 11> name{};
                    std::copy_n(s.begin(), 11, name.begin());
                    if (shortNameChecksum(name) != pendingSum) return false;
                }
                ++found.entries;
                if (s[0] == kDeletedMark) ++found.deleted;
                break;
            case FatSlotKind::Dot:
                if (i == 1 && cluster[0] == '.' && cluster[1] == ' ' && s[1] == '.') found.dotFirst = true;
                break;
            case FatSlotKind::Empty:
            case FatSlotKind::Label:
                break;
            }
            pendingLive = false;
        }
    } else {
        for (std::size_t i = 0; i < slots;) {
            const std::uint8_t type = cluster[i * kEntry];
            if (type == 0x85 || type == 0x05) {
                const std::size_t n = plausibleExFatSet(cluster, i * kEntry, limits);
                if (n > 0) {
                    ++found.entries;
                    if (type == 0x05) ++found.deleted;
                    i += n;
                    continue;
                }
                // A live set may run on into the next cluster; one that fits and
                // fails is no directory. A deleted one may be partly overwritten.
                const std::size_t claimed = std::size_t{cluster[i * kEntry + 1]} + 1;
                if (type == 0x85 && (i + claimed) <= slots) return false;
            } else if (type != 0x00 && !knownExFatType(type)) {
                return false;
            }
            ++i;
        }
    }
    if (look) *look = found;
    return found.entries > 0;
}

SlotScanArea SlotScanArea::heap(std::int64_t heapOffset, std::int64_t clusterSize, std::uint32_t clusterCount) {
    return SlotScanArea{heapOffset, clusterSize, clusterCount, 2};
}

SlotScanArea SlotScanArea::range(std::int64_t begin, std::int64_t end, std::int64_t unitSize) {
    SlotScanArea a;
    a.firstOffset = std::max<std::int64_t>(begin, 0);
    a.unitSize = unitSize;
    a.count = unitSize > 0 && end > a.firstOffset ? static_cast<std::uint64_t>((end - a.firstOffset) / unitSize) : 0;
    return a;
}

SlotScanResult scanForDirectories(const VolumeView& volume, SlotFamily family, const SlotScanArea& area,
                                  const SlotLimits& limits, const SlotScanLimits& scanLimits, WorkControl& work,
                                  Warnings& warnings, const std::function<bool(std::uint32_t)>& skip) {
    SlotScanResult result;
    // Directory clusters are whole 32-byte slots; exFAT clusters reach 32 MiB.
    constexpr std::int64_t kMaxUnit = std::int64_t{64} << 20;
    const std::int64_t unit = area.unitSize;
    if (unit < static_cast<std::int64_t>(kEntry) || unit > kMaxUnit || area.firstOffset < 0 ||
        area.firstOffset >= volume.size())
        return result;
    // Only whole units inside the volume, and cluster numbers that fit.
    std::uint64_t count = std::min<std::uint64_t>(area.count, static_cast<std::uint64_t>((volume.size() - area.firstOffset) / unit));
    count = std::min<std::uint64_t>(count, std::numeric_limits<std::uint32_t>::max() - std::uint64_t{area.firstCluster});
    if (count == 0 || scanLimits.maxFound == 0) return result;

    const std::uint64_t perChunk = static_cast<std::uint64_t>(std::max<std::int64_t>(1, scanLimits.chunkBytes / unit));
    std::vector<std::uint8_t> buffer;
    const std::int64_t base = volume.baseOffset();
    work.range(0, 1000);
    for (std::uint64_t k = 0; k < count; k += perChunk) {
        if (!work.checkpoint()) {
            result.stopped = true;
            break;
        }
        work.position(static_cast<std::int64_t>(k * 1000 / count));
        const std::uint64_t units = std::min(perChunk, count - k);
        const std::int64_t start = area.firstOffset + static_cast<std::int64_t>(k) * unit;
        const std::int64_t bytes = static_cast<std::int64_t>(units) * unit;
        if (volume.reader().isUnallocated(base + start, bytes)) continue;  // reads as zeros: no slots
        bool anyWanted = !skip;
        for (std::uint64_t u = 0; !anyWanted && u < units; ++u)
            anyWanted = !skip(area.firstCluster + static_cast<std::uint32_t>(k + u));
        if (!anyWanted) continue;

        buffer.resize(static_cast<std::size_t>(bytes));
        const bool read = volume.readAt(start, buffer);
        for (std::uint64_t u = 0; u < units; ++u) {
            const auto cluster = static_cast<std::uint32_t>(area.firstCluster + k + u);
            if (skip && skip(cluster)) continue;
            const std::int64_t at = start + static_cast<std::int64_t>(u) * unit;
            const MutableByteSpan part(buffer.data() + u * static_cast<std::uint64_t>(unit), static_cast<std::size_t>(unit));
            if (!read && !volume.readAt(at, part)) {
                warnings.unreadable(at);
                continue;
            }
            DirectoryLook look;
            if (!looksLikeDirectory(family, part, limits, &look)) continue;
            result.found.push_back({cluster, at, look});
            if (result.found.size() >= scanLimits.maxFound) {
                result.truncated = true;
                work.position(1000);
                return result;
            }
        }
    }
    work.position(1000);
    return result;
}

}  // namespace tavrel::fs::fat
