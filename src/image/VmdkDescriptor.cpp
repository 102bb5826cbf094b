#include "image/VmdkDescriptor.h"

#include <charconv>

#include "util/Unicode.h"

namespace tavrel {

namespace {

std::string_view unquote(std::string_view s) {
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return s.substr(1, s.size() - 2);
    return s;
}

std::optional<std::uint64_t> decimal(std::string_view s) {
    std::uint64_t v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty()) return std::nullopt;
    return v;
}

// The next blank-separated word of s, advancing s past it.
std::string_view word(std::string_view& s) {
    s = trim(s);
    const auto end = s.find_first_of(" \t");
    const std::string_view w = s.substr(0, end);
    s = end == std::string_view::npos ? std::string_view{} : s.substr(end);
    return w;
}

VmdkExtentType typeOf(std::string_view name) {
    if (name == "SPARSE") return VmdkExtentType::Sparse;
    // VMFS extents are flat data files of the same layout.
    if (name == "FLAT" || name == "VMFS") return VmdkExtentType::Flat;
    if (name == "ZERO") return VmdkExtentType::Zero;
    return VmdkExtentType::Unsupported;
}

bool isAccessWord(std::string_view w) { return w == "RW" || w == "RDONLY" || w == "NOACCESS"; }

// ACCESS SECTORS TYPE ["FILE NAME" [OFFSET]]
std::optional<VmdkExtentLine> parseExtent(std::string_view line) {
    VmdkExtentLine e;
    e.access = std::string(word(line));
    const auto sectors = decimal(word(line));
    if (!sectors) return std::nullopt;
    e.sectors = *sectors;
    e.typeName = std::string(word(line));
    e.type = typeOf(e.typeName);
    line = trim(line);
    if (e.type == VmdkExtentType::Zero) return e;
    if (line.empty() || line.front() != '"') return std::nullopt;
    const auto close = line.find('"', 1);
    if (close == std::string_view::npos) return std::nullopt;
    e.fileName = std::string(line.substr(1, close - 1));
    line = trim(line.substr(close + 1));
    if (!line.empty()) {
        const auto offset = decimal(word(line));
        if (!offset) return std::nullopt;
        e.offset = *offset;
    }
    return e;
}

}  // namespace

std::optional<std::uint32_t> VmdkDescriptor::ddbNumber(const std::string& key) const {
    const auto it = ddb.find(key);
    if (it == ddb.end()) return std::nullopt;
    const auto v = decimal(it->second);
    if (!v || *v > UINT32_MAX) return std::nullopt;
    return static_cast<std::uint32_t>(*v);
}

std::optional<VmdkDescriptor> parseVmdkDescriptor(std::string_view text, std::size_t maxExtents) {
    text = text.substr(0, text.find('\0'));
    VmdkDescriptor d;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty() || line.front() == '#') continue;
        std::string_view rest = line;
        if (isAccessWord(word(rest))) {
            auto extent = parseExtent(line);
            if (!extent || d.extents.size() >= maxExtents) return std::nullopt;
            d.extents.push_back(std::move(*extent));
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string key(trim(line.substr(0, eq)));
        const std::string value(unquote(trim(line.substr(eq + 1))));
        if (key == "version") {
            d.version = value;
        } else if (key == "CID") {
            d.cid = value;
        } else if (key == "parentCID") {
            d.parentCid = value;
        } else if (key == "createType") {
            d.createType = value;
        } else if (key == "parentFileNameHint") {
            d.parentFileNameHint = value;
        } else if (key.starts_with("ddb.")) {
            d.ddb[key] = value;
        }
    }
    return d;
}

}  // namespace tavrel
