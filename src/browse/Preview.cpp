#include "browse/Preview.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <initializer_list>
#include <limits>

#include "util/Unicode.h"

namespace tavrel::browse {

namespace {

bool startsWith(ByteSpan bytes, std::initializer_list<std::uint8_t> head) {
    return bytes.size() >= head.size() && std::equal(head.begin(), head.end(), bytes.begin());
}

// A control character that text shows as its control picture.
bool shownAsControl(char32_t c) { return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F; }

void appendShown(std::string& out, char32_t c) {
    if (c == 0x7F) c = 0x2421;
    else if (shownAsControl(c)) c = 0x2400 + c;
    appendUtf8(out, c);
}

// One UTF-8 sequence at `at`: its code point and length, or length 0 when it is
// invalid (overlong, a surrogate, past U+10FFFF), -1 when it is cut off by the
// end of the bytes.
struct Decoded {
    char32_t c = 0;
    int length = 0;
};

Decoded decodeUtf8(ByteSpan b, std::size_t at) {
    const std::uint8_t lead = b[at];
    if (lead < 0x80) return {lead, 1};
    int n = 0;
    char32_t c = 0;
    char32_t min = 0;
    if ((lead & 0xE0) == 0xC0) n = 2, c = lead & 0x1F, min = 0x80;
    else if ((lead & 0xF0) == 0xE0) n = 3, c = lead & 0x0F, min = 0x800;
    else if ((lead & 0xF8) == 0xF0) n = 4, c = lead & 0x07, min = 0x10000;
    else return {0, 0};
    for (int k = 1; k < n; ++k) {
        if (at + static_cast<std::size_t>(k) >= b.size()) return {0, -1};
        const std::uint8_t cont = b[at + static_cast<std::size_t>(k)];
        if ((cont & 0xC0) != 0x80) return {0, 0};
        c = (c << 6) | (cont & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return {0, 0};
    return {c, n};
}

std::size_t textBytes(ByteSpan bytes) { return std::min(bytes.size(), kTextLimit); }

}  // namespace

std::string pictureFormatOf(ByteSpan head) {
    if (startsWith(head, {0xFF, 0xD8, 0xFF})) return "jpeg";
    if (startsWith(head, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})) return "png";
    if (startsWith(head, {'G', 'I', 'F', '8', '7', 'a'}) || startsWith(head, {'G', 'I', 'F', '8', '9', 'a'}))
        return "gif";
    // "BM" alone starts many texts: the two reserved words after the size are zero.
    if (startsWith(head, {'B', 'M'}) && head.size() >= 14 && head[6] == 0 && head[7] == 0 && head[8] == 0 &&
        head[9] == 0)
        return "bmp";
    if (startsWith(head, {'R', 'I', 'F', 'F'}) && head.size() >= 12 && head[8] == 'W' && head[9] == 'E' &&
        head[10] == 'B' && head[11] == 'P')
        return "webp";
    return {};
}

std::string pictureFormatOfName(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return {};
    std::string ext(name.substr(dot + 1));
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == "jpg" || ext == "jpeg" || ext == "jpe" || ext == "jfif") return "jpeg";
    if (ext == "png" || ext == "gif" || ext == "bmp" || ext == "webp") return ext;
    if (ext == "dib") return "bmp";
    return {};
}

TextEncoding textEncodingOf(ByteSpan bytes) {
    if (startsWith(bytes, {0xEF, 0xBB, 0xBF})) return TextEncoding::Utf8;
    if (startsWith(bytes, {0xFF, 0xFE})) return TextEncoding::Utf16le;
    if (startsWith(bytes, {0xFE, 0xFF})) return TextEncoding::Utf16be;
    const ByteSpan b = bytes.first(textBytes(bytes));
    if (b.empty()) return TextEncoding::None;

    // UTF-16 without a mark: nearly every unit is ASCII text with a zero byte
    // on one side.
    const std::size_t units = b.size() / 2;
    if (units >= 2) {
        std::size_t le = 0, be = 0;
        auto texty = [](std::uint8_t c) { return (c >= 0x20 && c < 0x7F) || c == '\t' || c == '\n' || c == '\r'; };
        for (std::size_t i = 0; i < units; ++i) {
            if (b[2 * i + 1] == 0 && texty(b[2 * i])) ++le;
            if (b[2 * i] == 0 && texty(b[2 * i + 1])) ++be;
        }
        if (le * 10 >= units * 9) return TextEncoding::Utf16le;
        if (be * 10 >= units * 9) return TextEncoding::Utf16be;
    }

    // UTF-8 (ASCII included): at most one character in twenty is a control
    // byte or undecodable. A sequence cut by the end of the prefix counts for
    // nothing.
    std::size_t chars = 0, bad = 0;
    for (std::size_t at = 0; at < b.size();) {
        const Decoded d = decodeUtf8(b, at);
        if (d.length < 0) break;
        ++chars;
        if (d.length == 0) {
            ++bad;
            ++at;
            continue;
        }
        if (shownAsControl(d.c) && d.c != '\f' && d.c != 0x1B) ++bad;
        at += static_cast<std::size_t>(d.length);
    }
    return chars > 0 && bad * 20 <= chars ? TextEncoding::Utf8 : TextEncoding::None;
}

std::string previewText(ByteSpan bytes, TextEncoding encoding) {
    const ByteSpan b = bytes.first(textBytes(bytes));
    std::string out;
    out.reserve(b.size() + b.size() / 8);
    if (encoding == TextEncoding::Utf16le || encoding == TextEncoding::Utf16be) {
        const bool le = encoding == TextEncoding::Utf16le;
        auto unit = [&](std::size_t i) -> char32_t {
            return le ? static_cast<char32_t>(b[2 * i] | (b[2 * i + 1] << 8))
                      : static_cast<char32_t>((b[2 * i] << 8) | b[2 * i + 1]);
        };
        const std::size_t units = b.size() / 2;
        std::size_t i = units > 0 && unit(0) == 0xFEFF ? 1 : 0;
        for (; i < units; ++i) {
            char32_t c = unit(i);
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
                ++i;
            } else if (c >= 0xD800 && c <= 0xDFFF) {
                c = 0xFFFD;
            }
            appendShown(out, c);
        }
        return out;
    }
    std::size_t at = startsWith(b, {0xEF, 0xBB, 0xBF}) ? 3 : 0;
    while (at < b.size()) {
        const Decoded d = decodeUtf8(b, at);
        if (d.length < 0) break;  // cut by the end of the prefix
        if (d.length == 0) {
            appendUtf8(out, 0xFFFD);
            ++at;
            continue;
        }
        appendShown(out, d.c);
        at += static_cast<std::size_t>(d.length);
    }
    return out;
}

std::string hexDump(ByteSpan bytes) {
    const std::size_t n = std::min(bytes.size(), kHexLimit);
    std::string out;
    out.reserve((n + 15) / 16 * 78);
    char line[96];
    for (std::size_t row = 0; row < n; row += 16) {
        int w = std::snprintf(line, sizeof line, "%08zx ", row);
        std::string ascii;
        for (std::size_t k = 0; k < 16; ++k) {
            if (k == 8) line[w++] = ' ';
            if (row + k < n) {
                const std::uint8_t c = bytes[row + k];
                w += std::snprintf(line + w, sizeof line - static_cast<std::size_t>(w), " %02x", c);
                ascii += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.';
            } else {
                w += std::snprintf(line + w, sizeof line - static_cast<std::size_t>(w), "   ");
            }
        }
        out.append(line, static_cast<std::size_t>(w));
        out += "  |" + ascii + "|\n";
    }
    return out;
}

PreviewKind previewKind(std::string_view name, ByteSpan bytes, const std::vector<std::string>& pictureFormats) {
    if (bytes.empty()) return PreviewKind::Empty;
    std::string format = pictureFormatOf(bytes);
    if (format.empty()) format = pictureFormatOfName(name);
    if (!format.empty() && std::find(pictureFormats.begin(), pictureFormats.end(), format) != pictureFormats.end())
        return PreviewKind::Picture;
    return textEncodingOf(bytes) != TextEncoding::None ? PreviewKind::Text : PreviewKind::Hex;
}

// ---- reading -----------------------------------------------------------------

PrefixSink::PrefixSink(std::string_view name)
    : limit_(pictureFormatOfName(name).empty() ? kTextLimit : kPreviewLimit), decided_(limit_ == kPreviewLimit) {}

bool PrefixSink::write(ByteSpan bytes) {
    if (!decided_ && bytes_.size() + bytes.size() >= 12) {
        // The first bytes decide whether a picture's longer prefix is wanted.
        std::array<std::uint8_t, 16> head{};
        const std::size_t have = std::min(bytes_.size(), head.size());
        std::copy_n(bytes_.begin(), have, head.begin());
        const std::size_t more = std::min(head.size() - have, bytes.size());
        std::copy_n(bytes.begin(), more, head.begin() + static_cast<std::ptrdiff_t>(have));
        if (!pictureFormatOf(ByteSpan(head.data(), have + more)).empty()) limit_ = kPreviewLimit;
        decided_ = true;
    }
    const std::size_t take = std::min(bytes.size(), limit_ - std::min(limit_, bytes_.size()));
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
    return !full();
}

PreviewBytes readEntryPrefix(fs::Parser& parser, fs::EntryRef entry, WorkControl& work) {
    PreviewBytes out;
    out.size = parser.size(entry);
    out.name = parser.shownName(entry);
    PrefixSink sink(out.name);
    const bool ok = parser.saveFile(entry, sink, work);
    out.message = parser.takeMessage();
    out.bytes = sink.take();
    out.readFailed = !ok && out.bytes.empty() && (out.size > 0 || !out.message.empty());
    return out;
}

PreviewBytes readVolumePrefix(const VolumeView& volume, std::string_view name, const std::vector<fs::Extent>& extents,
                              WorkControl& work) {
    PreviewBytes out;
    out.name = name;
    // The size is summed with a cap: a carved file's lengths come from the image.
    for (const fs::Extent& e : extents)
        out.size = e.length > 0 && e.length < std::numeric_limits<std::int64_t>::max() - out.size ? out.size + e.length : out.size;
    PrefixSink sink(name);
    std::vector<std::uint8_t> chunk;
    // Small steps first: most previews want only the first 64 KiB.
    std::int64_t step = static_cast<std::int64_t>(kTextLimit);
    bool first = true;
    for (const fs::Extent& e : extents) {
        if (e.hole() || e.offset >= volume.size()) {
            out.readFailed = first && e.length > 0;
            break;
        }
        std::int64_t left = std::min(e.length, volume.size() - e.offset);
        for (std::int64_t at = e.offset; left > 0 && !sink.full(); step = std::int64_t{1} << 20) {
            if (!work.checkpoint()) break;
            chunk.resize(static_cast<std::size_t>(std::min(left, step)));
            if (!volume.readAt(at, chunk) && first) out.readFailed = true;
            first = false;
            sink.write(chunk);
            at += static_cast<std::int64_t>(chunk.size());
            left -= static_cast<std::int64_t>(chunk.size());
        }
        if (sink.full() || out.readFailed || work.stopRequested()) break;
    }
    out.bytes = sink.take();
    if (out.readFailed) out.bytes.clear();
    return out;
}

}  // namespace tavrel::browse
