#include <cstdint>

#include "raw/FamilyWalks.h"

namespace tavrel::raw {

namespace {

bool textAt(WalkCursor& c, std::int64_t p, const char* text) {
    for (std::int64_t i = 0; text[i]; ++i)
        if (c.at(p + i) != static_cast<unsigned char>(text[i])) return false;
    return true;
}

bool space(int b) { return b == ' ' || b == '\t' || b == '\r' || b == '\n' || b == '\f'; }

// Whitespace a writer may leave between "%%EOF" and an incremental update.
constexpr std::int64_t kMaxGap = 64;

}  // namespace

Walked pdfWalk(WalkCursor& c) {
    if (!textAt(c, 0, "%PDF-")) return {WalkEnd::Damaged, 0};
    std::int64_t last = 0;  // just past the last "%%EOF" and its line break
    for (std::int64_t p = 5;; ++p) {
        const int b = c.at(p);
        if (b < 0) return {WalkEnd::Truncated, last};
        if (b != '%' || !textAt(c, p, "%%EOF")) continue;
        p += 5;
        if (c.at(p) == '\r') ++p;
        if (c.at(p) == '\n') ++p;
        last = p;
        // An incremental update (objects, or a cross-reference table) may follow;
        // anything else is past the file's end.
        std::int64_t q = p;
        while (q - p < kMaxGap && space(c.at(q))) ++q;
        const int next = c.at(q);
        if (!((next >= '0' && next <= '9') || textAt(c, q, "xref"))) return {WalkEnd::Complete, last};
        p = q - 1;
    }
}

}  // namespace tavrel::raw
