#include "raw/FormatWalk.h"


#include "raw/FamilyWalks.h"
#include "raw/GifWalk.h"
#include "raw/Mp3Walk.h"
#include "raw/WalkCursor.h"
#include "util/Unicode.h"

namespace tavrel::raw {

namespace {

// A run of this many zero bytes inside entropy-coded data is where the data
// stops: compressed image data does not hold one.
constexpr std::int64_t kZeroRun = 512;

bool restartOrTem(int marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7); }

Walked jpegWalk(WalkCursor& c) {
    if (c.at(0) != 0xFF || c.at(1) != 0xD8) return {WalkEnd::Damaged, 0};
    std::int64_t p = 2;
    while (true) {
        const int b = c.at(p);
        if (b < 0) return {WalkEnd::Truncated, p};
        if (b != 0xFF) return brokenAt(c, p);
        std::int64_t q = p;
        while (c.at(q + 1) == 0xFF) ++q;  // fill bytes before a marker
        const int marker = c.at(q + 1);
        if (marker < 0) return {WalkEnd::Truncated, p};
        if (marker == 0xD9) return {WalkEnd::Complete, q + 2};
        if (restartOrTem(marker)) {
            p = q + 2;
            continue;
        }
        if (marker == 0x00 || marker == 0xD8) return brokenAt(c, p);
        const std::int64_t length = c.be16(q + 2);
        if (length < 0) return {WalkEnd::Truncated, p};
        if (length < 2) return brokenAt(c, p);
        if (c.at(q + 1 + length) < 0) return {WalkEnd::Truncated, p};  // the segment does not fit
        p = q + 2 + length;
        if (marker != 0xDA) continue;
        // Entropy-coded data: runs to the next marker that is neither a stuffed
        // 0xFF00 nor a restart marker.
        std::int64_t zeros = 0;
        while (true) {
            const int d = c.at(p);
            if (d < 0) return {WalkEnd::Truncated, p};
            if (d == 0) {
                if (++zeros >= kZeroRun) return {WalkEnd::Truncated, p + 1 - zeros};
                ++p;
                continue;
            }
            zeros = 0;
            if (d != 0xFF) {
                ++p;
                continue;
            }
            const int next = c.at(p + 1);
            if (next < 0) return {WalkEnd::Truncated, p};
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

bool chunkTypeIs(WalkCursor& c, std::int64_t at, const char* type) {
    for (int i = 0; i < 4; ++i)
        if (c.at(at + i) != type[i]) return false;
    return true;
}

Walked pngWalk(WalkCursor& c) {
    static constexpr int kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    for (int i = 0; i < 8; ++i)
        if (c.at(i) != kSignature[i]) return {WalkEnd::Damaged, 0};
    std::int64_t p = 8;
    bool first = true;
    while (true) {
        const std::int64_t length = c.be32(p);
        if (length < 0) return {WalkEnd::Truncated, p};
        if (length > 0x7FFFFFFF || !chunkTypeValid(c, p + 4)) return brokenAt(c, p);
        if (first && !chunkTypeIs(c, p + 4, "IHDR")) return brokenAt(c, p);
        first = false;
        const bool end = chunkTypeIs(c, p + 4, "IEND");
        if (c.at(p + 11 + length) < 0) return {WalkEnd::Truncated, p};  // the chunk does not fit
        p += 12 + length;
        if (end) return {WalkEnd::Complete, p};
    }
}

using Walk = Walked (*)(WalkCursor&);
struct Registered {
    const char* extension;
    Walk walk;
    bool startsInside = false;  // its own packets begin with its start signature
};
constexpr Registered kWalks[] = {
    {"jpg", jpegWalk},       {"jpeg", jpegWalk},         {"png", pngWalk},          {"gif", gifWalk},
    {"mp3", mp3Walk},        {"ogg", oggWalk},           {"oga", oggWalk},          {"ogv", oggWalk},
    {"opus", oggWalk},       {"mp4", isoMediaWalk},      {"m4a", isoMediaWalk},     {"m4v", isoMediaWalk},
    {"mov", isoMediaWalk},   {"3gp", isoMediaWalk},      {"wav", riffWalk},         {"avi", riffWalk, true},
    {"webp", riffWalk},      {"mpg", mpegPsWalk, true},  {"mpeg", mpegPsWalk, true}, {"vob", mpegPsWalk, true},
    {"mkv", ebmlWalk},       {"mka", ebmlWalk},          {"webm", ebmlWalk},        {"doc", ole2Walk},
    {"xls", ole2Walk},       {"ppt", ole2Walk},          {"msi", ole2Walk},         {"pdf", pdfWalk},
    {"bmp", bmpWalk},        {"tif", tiffWalk},          {"tiff", tiffWalk},        {"flac", flacWalk},
    {"gz", gzipWalk},        {"tgz", gzipWalk},          {"bz2", bzip2Walk},        {"xz", xzWalk},
    {"7z", sevenZipWalk},    {"elf", elfWalk},           {"exe", peWalk},           {"dll", peWalk},
    {"sh", textWalk},        {"txt", textWalk},          {"xml", textWalk},         {"html", textWalk},
    {"htm", textWalk},       {"rtf", textWalk},          {"csv", textWalk},         {"log", textWalk},
};

const Registered* registered(const std::string& extension) {
    for (const Registered& w : kWalks)
        if (equalsIgnoreCase(extension, w.extension)) return &w;
    return nullptr;
}

}  // namespace

bool hasStructureWalk(const std::string& extension) { return registered(extension) != nullptr; }

bool startsInsideWalked(const std::string& extension) {
    const Registered* w = registered(extension);
    return w && w->startsInside;
}

std::optional<Walked> walkStructure(const std::string& extension, const VolumeView& volume, std::int64_t start,
                                    std::int64_t limit, HeldBytes held, std::int64_t* reach,
                                    IndirectSkipper* skipper, std::int64_t until) {
    const Registered* w = registered(extension);
    if (!w) return std::nullopt;
    // The limit comes from a rule file: compared with the room left, never added.
    const std::int64_t bound = until >= 0 ? std::min(until, volume.size()) : volume.size();
    const std::int64_t room = std::max<std::int64_t>(bound - start, 0);
    const std::int64_t fileRoom = limit > 0 && limit < room ? limit : room;
    // Without skipping, file and volume bytes are one: the file's room is its bound.
    const std::int64_t end = skipper ? bound : start + fileRoom;
    WalkCursor c(volume, start, end, held, skipper, skipper && limit > 0 ? limit : fileRoom);
    const Walked walked = w->walk(c);
    if (reach) *reach = c.reach();
    return walked;
}

}  // namespace tavrel::raw
