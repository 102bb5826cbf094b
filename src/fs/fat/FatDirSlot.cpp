#include "fs/fat/FatDirSlot.h"

#include "util/Unicode.h"

namespace tavrel::fs::fat {

std::optional<DirSlot> decodeDirSlot(ByteSpan b) {
    if (b.size() < kSlotSize) return std::nullopt;
    DirSlot s;
    for (std::size_t i = 0; i < 11; ++i) s.shortName[i] = b[i];
    s.attributes = b[11];
    s.caseFlags = b[12];
    s.creationTenths = b[13];
    s.creationTime = le16(b, 14);
    s.creationDate = le16(b, 16);
    s.accessDate = le16(b, 18);
    s.firstClusterHigh = le16(b, 20);
    s.writeTime = le16(b, 22);
    s.writeDate = le16(b, 24);
    s.firstClusterLow = le16(b, 26);
    s.size = le32(b, 28);
    return s;
}

static std::string padTrimmed(const std::uint8_t* bytes, std::size_t count, bool lower, bool firstIsE5Alias) {
    std::size_t n = count;
    while (n > 0 && bytes[n - 1] == ' ') --n;
    std::uint8_t tmp[8] = {};
    for (std::size_t i = 0; i < n; ++i) {
        std::uint8_t c = bytes[i];
        if (i == 0 && firstIsE5Alias && c == 0x05) c = kDeletedMark;
        if (lower && c >= 'A' && c <= 'Z') c = static_cast<std::uint8_t>(c - 'A' + 'a');
        tmp[i] = c;
    }
    return utf8FromCp437(ByteSpan(tmp, n));
}

std::string shortNameText(const std::array<std::uint8_t, 11>& name, std::uint8_t caseFlags) {
    std::string base = padTrimmed(name.data(), 8, (caseFlags & 0x08) != 0, true);
    const std::string ext = padTrimmed(name.data() + 8, 3, (caseFlags & 0x10) != 0, false);
    if (!ext.empty()) base += "." + ext;
    return base;
}

std::uint8_t shortNameChecksum(const std::array<std::uint8_t, 11>& name) {
    std::uint8_t sum = 0;
    for (const std::uint8_t c : name) sum = static_cast<std::uint8_t>(((sum & 1) ? 0x80 : 0) + (sum >> 1) + c);
    return sum;
}

std::u16string longNamePart(ByteSpan slot) {
    static constexpr std::size_t offsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    std::u16string part;
    for (const std::size_t at : offsets) {
        const auto unit = le16At(slot, at);
        if (!unit || *unit == 0) break;
        part.push_back(static_cast<char16_t>(*unit));
    }
    return part;
}

CivilTime dosCivil(std::uint16_t date, std::uint16_t time) {
    CivilTime t;
    t.year = 1980 + (date >> 9);
    t.month = (date >> 5) & 0x0F;
    t.day = date & 0x1F;
    t.hour = time >> 11;
    t.minute = (time >> 5) & 0x3F;
    t.second = (time & 0x1F) * 2;
    return t;
}

bool validDosDateTime(std::uint16_t date, std::uint16_t time) {
    const CivilTime t = dosCivil(date, time);
    return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 && t.hour < 24 && t.minute < 60 &&
           t.second < 60;
}

}  // namespace tavrel::fs::fat
