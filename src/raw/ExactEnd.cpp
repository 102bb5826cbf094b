#include "raw/ExactEnd.h"

#include <algorithm>
#include <array>

#include "util/Bytes.h"
#include "util/Unicode.h"

namespace tavrel::raw {

bool isZipFamily(const std::string& ext) {
    for (const char* z : {"zip", "docx", "xlsx", "pptx", "odt", "ods", "odp", "jar", "apk", "epub"})
        if (equalsIgnoreCase(ext, z)) return true;
    return false;
}

std::int64_t zipArchiveStart(const VolumeView& volume, std::int64_t eocdAt) {
    std::array<std::uint8_t, 22> record{};
    if (!volume.readAt(eocdAt, record)) return -1;
    const std::int64_t start = eocdAt - static_cast<std::int64_t>(le32(record, 12)) - le32(record, 16);
    return start >= 0 ? start : -1;
}

std::int64_t bytesAfterEnd(const std::string& extension, const VolumeView& volume, std::int64_t endsAt) {
    const std::int64_t room = volume.size() - endsAt;
    if (room <= 0) return 0;
    if (isZipFamily(extension)) {
        // End of central directory: signature, then 16 bytes of counts and
        // offsets and the comment length (2 bytes), then the comment.
        std::array<std::uint8_t, 18> tail{};
        if (room < 18 || !volume.readAt(endsAt, tail)) return 0;
        return std::min<std::int64_t>(18 + le16(tail, 16), room);
    }
    if (equalsIgnoreCase(extension, "pdf")) {
        std::array<std::uint8_t, 2> eol{};
        volume.readAt(endsAt, std::span(eol).first(static_cast<std::size_t>(std::min<std::int64_t>(room, 2))));
        if (eol[0] == '\r' && eol[1] == '\n' && room >= 2) return 2;
        return eol[0] == '\r' || eol[0] == '\n' ? 1 : 0;
    }
    return 0;
}

std::int64_t statedLength(const std::string& extension, const VolumeView& volume, std::int64_t start) {
    if (!equalsIgnoreCase(extension, "sqlite") && !equalsIgnoreCase(extension, "db")) return 0;
    std::array<std::uint8_t, 100> header{};
    if (!volume.readAt(start, header)) return 0;
    static constexpr char kMagic[] = "SQLite format 3";
    if (!std::equal(kMagic, kMagic + sizeof kMagic, header.begin())) return 0;
    // The page size is a power of two from 512 to 32768, or 1 for 65536.
    const std::uint32_t stored = be16(header, 16);
    const std::int64_t pageSize = stored == 1 ? 65536 : stored;
    if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0) return 0;
    const std::int64_t pages = be32(header, 28);
    if (pages == 0 || pages > volume.size() / pageSize) return 0;
    return pages * pageSize;
}

}  // namespace tavrel::raw
