#include "raw/ExactEnd.h"

#include <algorithm>
#include <array>

#include "util/Bytes.h"
#include "util/Unicode.h"

namespace tavrel::raw {

namespace {

bool isZipFamily(const std::string& ext) {
    for (const char* z : {"zip", "docx", "xlsx", "pptx", "odt", "ods", "odp", "jar", "apk", "epub"})
        if (equalsIgnoreCase(ext, z)) return true;
    return false;
}

}  // namespace

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

}  // namespace tavrel::raw
