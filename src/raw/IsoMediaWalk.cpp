#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

#include "raw/FamilyWalks.h"
#include "util/Bytes.h"

namespace tavrel::raw {

namespace {

// Box types that stand at the top level of an ISO base media or QuickTime file.
constexpr std::string_view kTopLevel[] = {"ftyp", "moov", "mdat", "free", "skip", "wide", "uuid", "meta",
                                          "moof", "mfra", "sidx", "ssix", "styp", "pdin", "prft", "emsg",
                                          "pnot", "PICT", "junk", "jumb", "udta"};

// A known top-level type, or one of lowercase letters, digits and spaces as
// writers' own boxes have.
bool topLevel(const std::array<std::uint8_t, 16>& box) {
    const std::string_view type(reinterpret_cast<const char*>(box.data() + 4), 4);
    if (std::find(std::begin(kTopLevel), std::end(kTopLevel), type) != std::end(kTopLevel)) return true;
    return std::all_of(type.begin(), type.end(),
                       [](char ch) { return (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == ' '; });
}

}  // namespace

Walked isoMediaWalk(WalkCursor& c) {
    std::array<std::uint8_t, 16> box{};
    if (!c.read(0, box) || std::string_view(reinterpret_cast<const char*>(box.data() + 4), 4) != "ftyp")
        return {WalkEnd::Damaged, 0};
    bool movie = false, media = false;
    std::int64_t p = 0;
    while (true) {
        box.fill(0);
        const bool whole = c.read(p, std::span(box).first(8));
        if (!whole || !topLevel(box)) {
            if (movie && media) return {WalkEnd::Complete, p};
            return whole ? brokenAt(c, p) : Walked{WalkEnd::Truncated, p};
        }
        std::uint64_t size = be32(box, 0);
        std::int64_t header = 8;
        if (size == 1) {
            // A 64-bit size follows the type.
            if (!c.read(p + 8, std::span(box).subspan(8, 8))) return {WalkEnd::Truncated, p};
            size = be64(box, 8);
            header = 16;
        } else if (size == 0) {
            // "To the end of the file": a carve cannot tell where that is.
            return movie && media ? Walked{WalkEnd::Complete, p} : Walked{WalkEnd::Damaged, p};
        }
        // Once the movie and its media are there, bytes that make no whole box
        // are past the file's end.
        const bool fits = size >= static_cast<std::uint64_t>(header) && size <= static_cast<std::uint64_t>(c.room() - p);
        if (!fits && movie && media) return {WalkEnd::Complete, p};
        if (size < static_cast<std::uint64_t>(header)) return brokenAt(c, p);
        if (!fits) return {WalkEnd::Truncated, p};
        const std::string_view type(reinterpret_cast<const char*>(box.data() + 4), 4);
        movie = movie || type == "moov" || type == "moof";
        media = media || type == "mdat";
        p += static_cast<std::int64_t>(size);
    }
}

}  // namespace tavrel::raw
