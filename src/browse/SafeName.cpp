#include "browse/SafeName.h"

namespace tavrel::browse {

namespace {

// Splits "stem.ext" where the extension is short enough to be worth keeping
// when the name must be cut or numbered. A leading dot is part of the stem.
std::size_t extensionStart(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return name.size();
    if (name.size() - dot > 32) return name.size();
    return dot;
}

std::string fitWithSuffix(std::string_view name, std::string_view suffix) {
    const std::size_t extAt = extensionStart(name);
    const std::string_view stem = name.substr(0, extAt);
    const std::string_view ext = name.substr(extAt);
    const std::size_t room = kMaxHostNameBytes - suffix.size() - ext.size();
    std::string out = utf8Prefix(stem, room);
    out += suffix;
    out += ext;
    return out;
}

}  // namespace

std::string utf8Prefix(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return std::string(text);
    std::size_t cut = maxBytes;
    // Step back over continuation bytes so a multi-byte character is not split.
    for (int i = 0; i < 4 && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80; ++i) --cut;
    return std::string(text.substr(0, cut));
}

HostName safeName(std::string_view imageName) {
    HostName out;
    out.name.reserve(imageName.size());
    for (const char c : imageName) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || byte < 0x20 || byte == 0x7F) {
            out.name += '_';
            out.changed = true;
        } else {
            out.name += c;
        }
    }
    // assign(count, char) rather than assignment from a literal: g++ 12 at -O3
    // reports a false -Wrestrict overlap for the latter here.
    if (out.name.empty() || out.name == ".") {
        out.name.assign(1, '_');
        out.changed = true;
    } else if (out.name == "..") {
        out.name.assign(2, '_');
        out.changed = true;
    }
    if (out.name.size() > kMaxHostNameBytes) {
        out.name = fitWithSuffix(out.name, "");
        out.changed = true;
    }
    return out;
}

std::string asciiFallbackName(const std::string& safe) {
    std::string out;
    for (const char c : safe) out += (static_cast<unsigned char>(c) & 0x80) ? '_' : c;
    if (out.size() > 100) out = utf8Prefix(out, 100 - 10) + out.substr(out.size() - 10);
    return safeName(out).name;
}

std::string distinctName(const std::string& safe, unsigned n) {
    return fitWithSuffix(safe, " (" + std::to_string(n) + ")");
}

}  // namespace tavrel::browse
