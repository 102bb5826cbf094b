#include "raw/FormatWalk.h"

#include <algorithm>
#include <utility>

#include "raw/GifWalk.h"
#include "raw/Mp3Walk.h"
#include "raw/WalkCursor.h"
#include "util/Unicode.h"

namespace tavrel::raw {

namespace {

std::int64_t jpegLength(WalkCursor& c) {
    if (c.at(0) != 0xFF || c.at(1) != 0xD8) return 0;
    std::int64_t p = 2;
    while (true) {
        if (c.at(p) != 0xFF) return 0;
        while (c.at(p + 1) == 0xFF) ++p;  // fill bytes before a marker
        const int marker = c.at(p + 1);
        if (marker < 0) return 0;
        if (marker == 0xD9) return p + 2;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            p += 2;
            continue;
        }
        if (marker == 0x00 || marker == 0xD8) return 0;
        const std::int64_t length = c.be16(p + 2);
        if (length < 2) return 0;
        p += 2 + length;
        if (marker != 0xDA) continue;
        // Entropy-coded data: runs to the next marker that is neither a stuffed
        // 0xFF00 nor a restart marker.
        while (true) {
            const int b = c.at(p);
            if (b < 0) return 0;
            if (b != 0xFF) {
                ++p;
                continue;
            }
            const int next = c.at(p + 1);
            if (next < 0) return 0;
            if (next == 0x00 || (next >= 0xD0 && next <= 0xD7) || next == 0xFF) {
                p += next == 0xFF ? 1 : 2;
                continue;
            }
            break;
        }
    }
}

bool chunkTypeValid(WalkCursor& c, std::int64_t at) {
    for (int i = 0; i < 4; ++i) {
        const int b = c.at(at + i);
        if (!((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'))) return false;
    }
    return true;
}

std::int64_t pngLength(WalkCursor& c) {
    static constexpr int kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    for (int i = 0; i < 8; ++i)
        if (c.at(i) != kSignature[i]) return 0;
    std::int64_t p = 8;
    bool first = true;
    while (true) {
        const std::int64_t length = c.be32(p);
        if (length < 0 || length > 0x7FFFFFFF || !chunkTypeValid(c, p + 4)) return 0;
        const bool end = c.at(p + 4) == 'I' && c.at(p + 5) == 'E' && c.at(p + 6) == 'N' && c.at(p + 7) == 'D';
        if (first && !(c.at(p + 4) == 'I' && c.at(p + 5) == 'H' && c.at(p + 6) == 'D' && c.at(p + 7) == 'R')) return 0;
        first = false;
        p += 12 + length;
        if (c.at(p - 1) < 0) return 0;  // the chunk does not fit
        if (end) return p;
    }
}

}  // namespace

std::optional<std::int64_t> walkedLength(const std::string& extension, const VolumeView& volume, std::int64_t start,
                                         std::int64_t limit) {
    using Walk = std::int64_t (*)(WalkCursor&);
    static constexpr std::pair<const char*, Walk> kWalks[] = {
        {"jpg", jpegLength}, {"jpeg", jpegLength}, {"png", pngLength}, {"gif", gifLength}, {"mp3", mp3Length},
    };
    for (const auto& [name, walk] : kWalks) {
        if (!equalsIgnoreCase(extension, name)) continue;
        const std::int64_t end = limit > 0 ? std::min(volume.size(), start + limit) : volume.size();
        WalkCursor c(volume, start, end);
        return walk(c);
    }
    return std::nullopt;
}

}  // namespace tavrel::raw
