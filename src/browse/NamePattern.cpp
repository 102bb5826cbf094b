#include "browse/NamePattern.h"

namespace tavrel::browse {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

char32_t fold(char32_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x178) return 0xFF;
        const bool evenUpper = (c <= 0x137) || (c >= 0x14A && c <= 0x177);
        const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if ((evenUpper && c % 2 == 0) || (oddUpper && c % 2 == 1)) return c + 1;
        return c;
    }
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;  // Greek capitals
    if (c == 0x3C2) return 0x3C3;                                // final sigma
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return c + 37;
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return c + 63;
    if (c >= 0x410 && c <= 0x42F) return c + 32;  // Cyrillic capitals
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    if (((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF)) && c % 2 == 0) return c + 1;
    return c;
}

// One code point from text at i (advancing i); U+FFFD for a malformed sequence.
char32_t nextCodePoint(std::string_view text, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(text[i++]);
    if (b0 < 0x80) return b0;
    int extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) extra = 1, cp = b0 & 0x1F, min = 0x80;
    else if ((b0 & 0xF0) == 0xE0) extra = 2, cp = b0 & 0x0F, min = 0x800;
    else if ((b0 & 0xF8) == 0xF0) extra = 3, cp = b0 & 0x07, min = 0x10000;
    else return kReplacement;
    for (int k = 0; k < extra; ++k) {
        if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return kReplacement;
        cp = (cp << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacement;
    return cp;
}

bool isRefused(char32_t c) {
    switch (c) {
    case '*': case '+': case '?': case '(': case ')': case '[': case ']': case '{': case '}':
        return true;
    default:
        return false;
    }
}

bool isAsciiAlnum(char32_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

std::u32string foldedCodePoints(std::string_view utf8, std::size_t maxLength) {
    std::u32string out;
    std::size_t i = 0;
    while (i < utf8.size() && out.size() < maxLength) out.push_back(fold(nextCodePoint(utf8, i)));
    return out;
}

std::optional<NamePattern> NamePattern::compile(std::string_view text) {
    // Decoded without folding first, so that "\" escapes and anchors are seen
    // as typed; one extra character tells an overlong pattern.
    std::u32string cps;
    for (std::size_t i = 0; i < text.size() && cps.size() <= kMaxPatternLength;) cps.push_back(nextCodePoint(text, i));
    if (cps.size() > kMaxPatternLength) return std::nullopt;

    NamePattern p;
    p.alternatives_.emplace_back();
    for (std::size_t i = 0; i < cps.size(); ++i) {
        Alternative& alt = p.alternatives_.back();
        const char32_t c = cps[i];
        if (alt.anchoredEnd && c != '|') return std::nullopt;  // "$" only ends an alternative
        if (c == '|') {
            p.alternatives_.emplace_back();
        } else if (c == '^') {
            if (!alt.atoms.empty() || alt.anchoredStart) return std::nullopt;
            alt.anchoredStart = true;
        } else if (c == '$') {
            alt.anchoredEnd = true;
        } else if (c == '.') {
            alt.atoms.push_back({0, true});
        } else if (c == '\\') {
            if (i + 1 >= cps.size() || isAsciiAlnum(cps[i + 1])) return std::nullopt;
            alt.atoms.push_back({fold(cps[++i]), false});
        } else if (isRefused(c)) {
            return std::nullopt;
        } else {
            alt.atoms.push_back({fold(c), false});
        }
    }
    return p;
}

bool NamePattern::matchesAt(const Alternative& alt, const std::u32string& name, std::size_t at) {
    if (at + alt.atoms.size() > name.size()) return false;
    for (std::size_t k = 0; k < alt.atoms.size(); ++k) {
        const Atom& a = alt.atoms[k];
        if (!a.any && a.ch != name[at + k]) return false;
    }
    return !alt.anchoredEnd || at + alt.atoms.size() == name.size();
}

bool NamePattern::matches(std::string_view name) const {
    const std::u32string folded = foldedCodePoints(name, kMaxMatchedLength);
    for (const Alternative& alt : alternatives_) {
        if (alt.atoms.size() > folded.size()) continue;
        const std::size_t last = alt.anchoredStart ? 0 : folded.size() - alt.atoms.size();
        for (std::size_t at = 0; at <= last; ++at)
            if (matchesAt(alt, folded, at)) return true;
    }
    return false;
}

}  // namespace tavrel::browse
