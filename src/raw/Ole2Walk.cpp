#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "raw/FamilyWalks.h"
#include "util/Bytes.h"

namespace tavrel::raw {

namespace {

constexpr std::uint8_t kMagic[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::uint32_t kFree = 0xFFFFFFFF;
constexpr std::uint32_t kLastRegular = 0xFFFFFFFA;  // higher ids mark free, end of chain, FAT and DIFAT sectors
constexpr std::size_t kHeaderFatIds = 109;

}  // namespace

Walked ole2Walk(WalkCursor& c) {
    std::array<std::uint8_t, 512> header{};
    if (!c.read(0, header)) return {WalkEnd::Truncated, 0};
    if (!std::equal(std::begin(kMagic), std::end(kMagic), header.begin()) || le16(header, 0x1C) != 0xFFFE)
        return {WalkEnd::Damaged, 0};
    // Version 3 has 512-byte sectors, version 4 has 4096-byte ones; the header
    // fills the first sector.
    const std::uint16_t version = le16(header, 0x1A), shift = le16(header, 0x1E);
    if (!((version == 3 && shift == 9) || (version == 4 && shift == 12))) return {WalkEnd::Damaged, 0};
    const std::int64_t sectorSize = std::int64_t{1} << shift;
    const std::int64_t sectors = c.room() / sectorSize;  // sectors the range can hold, header included
    const std::int64_t fatCount = le32(header, 0x2C), difatCount = le32(header, 0x48);
    if (fatCount == 0 || fatCount > sectors || difatCount > sectors) return {WalkEnd::Damaged, 0};

    // The FAT's own sectors: the first 109 listed in the header, the rest in the
    // DIFAT chain (each of its sectors lists ids and ends with the next one's).
    std::vector<std::uint32_t> fatSectors;
    std::int64_t highest = 0;
    const auto take = [&](std::uint32_t id) {
        if (id > kLastRegular) return true;
        if (id >= sectors) return false;
        if (static_cast<std::int64_t>(fatSectors.size()) < fatCount) fatSectors.push_back(id);
        highest = std::max<std::int64_t>(highest, id);
        return true;
    };
    for (std::size_t i = 0; i < kHeaderFatIds; ++i)
        if (!take(le32(header, 0x4C + 4 * i))) return {WalkEnd::Truncated, sectorSize};
    std::vector<std::uint8_t> sector(static_cast<std::size_t>(sectorSize));
    std::uint32_t difat = le32(header, 0x44);
    for (std::int64_t d = 0; d < difatCount && difat <= kLastRegular; ++d) {
        if (difat >= sectors || !c.read((std::int64_t{difat} + 1) * sectorSize, sector))
            return {WalkEnd::Truncated, sectorSize};
        highest = std::max<std::int64_t>(highest, difat);
        const std::size_t ids = sector.size() / 4 - 1;
        for (std::size_t i = 0; i < ids; ++i)
            if (!take(le32(sector, 4 * i))) return {WalkEnd::Truncated, sectorSize};
        difat = le32(sector, 4 * ids);
    }
    if (static_cast<std::int64_t>(fatSectors.size()) != fatCount) return {WalkEnd::Damaged, sectorSize};

    // The highest sector the FAT does not mark free is the file's last.
    const std::int64_t perSector = sectorSize / 4;
    for (std::size_t f = 0; f < fatSectors.size(); ++f) {
        if (!c.read((std::int64_t{fatSectors[f]} + 1) * sectorSize, sector)) return {WalkEnd::Truncated, sectorSize};
        for (std::int64_t i = perSector - 1; i >= 0; --i) {
            if (le32(sector, static_cast<std::size_t>(4 * i)) == kFree) continue;
            highest = std::max(highest, static_cast<std::int64_t>(f) * perSector + i);
            break;
        }
    }
    const std::int64_t length = (highest + 2) * sectorSize;
    if (highest + 2 > sectors) return {WalkEnd::Truncated, sectorSize};
    return {WalkEnd::Complete, length};
}

}  // namespace tavrel::raw
