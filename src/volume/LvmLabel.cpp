#include "volume/LvmLabel.h"

#include <array>
#include <cstring>

namespace tavrel::lvm {

namespace {

constexpr std::size_t kSector = 512;
constexpr std::size_t kLabelCrcFrom = 20;  // the CRC covers the label sector from here
constexpr char kLabelId[] = "LABELONE";
constexpr char kLabelType[] = "LVM2 001";
constexpr char kMdaMagic[] = " LVM2 x[5A%r0N*>";
constexpr std::size_t kUuidLength = 32;

// The half-byte table of the reflected polynomial 0xEDB88320.
constexpr std::array<std::uint32_t, 16> nibbleTable() {
    std::array<std::uint32_t, 16> t{};
    for (std::uint32_t n = 0; n < 16; ++n) {
        std::uint32_t c = n;
        for (int bit = 0; bit < 4; ++bit) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[n] = c;
    }
    return t;
}
constexpr auto kNibbles = nibbleTable();

bool startsWith(ByteSpan bytes, std::size_t at, const char* text) {
    const std::size_t n = std::strlen(text);
    return fits(bytes.size(), at, n) && std::memcmp(bytes.data() + at, text, n) == 0;
}

// Reads one {offset, size} list ended by a zero offset from `at`; false when the
// list runs off the sector or holds more than kMaxAreas areas.
bool readAreas(ByteSpan sector, std::size_t& at, std::vector<DiskArea>& out) {
    for (std::size_t n = 0; n <= kMaxAreas; ++n) {
        const auto offset = le64At(sector, at);
        const auto size = le64At(sector, at + 8);
        if (!offset || !size) return false;
        at += 16;
        if (*offset == 0) return true;
        out.push_back({*offset, *size});
    }
    return false;
}

}  // namespace

std::uint32_t crc(std::uint32_t value, ByteSpan bytes) {
    for (const std::uint8_t b : bytes) {
        value ^= b;
        value = (value >> 4) ^ kNibbles[value & 0xF];
        value = (value >> 4) ^ kNibbles[value & 0xF];
    }
    return value;
}

LabelDecode decodePvLabel(ByteSpan sectors) {
    LabelDecode out;
    for (std::size_t s = 0; s < kLabelSectors; ++s) {
        const ByteSpan sector = subSpan(sectors, s * kSector, kSector);
        if (sector.empty() || !startsWith(sector, 0, kLabelId)) continue;
        const std::size_t base = s * kSector;
        out.result = LabelResult::Damaged;
        if (le64(sector, 8) != s) {
            out.offset = base + 8;
            return out;
        }
        if (le32(sector, 16) != crc(kCrcSeed, sector.subspan(kLabelCrcFrom))) {
            out.offset = base + 16;
            return out;
        }
        if (!startsWith(sector, 24, kLabelType)) {
            out.offset = base + 24;
            return out;
        }
        const std::uint32_t header = le32(sector, 20);
        if (header < 32 || header >= kSector || !fits(kSector, header, kUuidLength + 8)) {
            out.offset = base + 20;
            return out;
        }
        PvLabel& label = out.label;
        label.labelSector = s;
        label.uuid.assign(reinterpret_cast<const char*>(sector.data() + header), kUuidLength);
        label.deviceSize = le64(sector, header + kUuidLength);
        std::size_t at = header + kUuidLength + 8;
        if (!readAreas(sector, at, label.dataAreas) || !readAreas(sector, at, label.metadataAreas)) {
            out.offset = base + at;
            return out;
        }
        out.result = LabelResult::Found;
        return out;
    }
    return out;
}

std::optional<MdaHeader> decodeMdaHeader(ByteSpan header) {
    if (header.size() < kMdaHeaderSize) return std::nullopt;
    header = header.first(kMdaHeaderSize);
    if (le32(header, 0) != crc(kCrcSeed, header.subspan(4))) return std::nullopt;
    if (!startsWith(header, 4, kMdaMagic) || le32(header, 20) != 1) return std::nullopt;
    MdaHeader out;
    out.start = le64(header, 24);
    out.size = le64(header, 32);
    if (out.size <= kMdaHeaderSize) return std::nullopt;
    for (std::size_t at = 40; out.locations.size() < kMaxLocations && fits(header.size(), at, 24); at += 24) {
        RawLocation l{le64(header, at), le64(header, at + 8), le32(header, at + 16), le32(header, at + 20)};
        if (l.offset == 0) break;
        out.locations.push_back(l);
    }
    return out;
}

std::string dashedUuid(const std::string& uuid) {
    static constexpr std::size_t kGroups[] = {6, 4, 4, 4, 4, 4, 6};
    if (uuid.size() != kUuidLength) return uuid;
    std::string out;
    std::size_t at = 0;
    for (const std::size_t n : kGroups) {
        if (!out.empty()) out += '-';
        out += uuid.substr(at, n);
        at += n;
    }
    return out;
}

std::string plainUuid(const std::string& uuid) {
    std::string out;
    for (const char c : uuid)
        if (c != '-') out += c;
    return out;
}

}  // namespace tavrel::lvm
