#include "cli/JsonFields.h"

#include <charconv>
#include <cstdio>
#include <iostream>

#include "util/Texts.h"

namespace tavrel::cli {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Writes the digits of v, zero-padded to width, at p.
char* digits(char* p, unsigned v, int width) {
    for (int k = width - 1; k >= 0; --k, v /= 10) p[k] = static_cast<char>('0' + v % 10);
    return p + width;
}

// The bytes after a UTF-8 lead byte and the range its first one must lie in
// (narrower than 80..BF where it would otherwise be overlong, a surrogate or
// past U+10FFFF); need 0 for a byte that cannot start a sequence.
struct Lead {
    int need = 0;
    unsigned char low = 0x80, high = 0xBF;
};

Lead leadOf(unsigned char b) {
    if (b >= 0xC2 && b <= 0xDF) return {1, 0x80, 0xBF};
    if (b == 0xE0) return {2, 0xA0, 0xBF};
    if (b == 0xED) return {2, 0x80, 0x9F};
    if (b >= 0xE1 && b <= 0xEF) return {2, 0x80, 0xBF};
    if (b == 0xF0) return {3, 0x90, 0xBF};
    if (b >= 0xF1 && b <= 0xF3) return {3, 0x80, 0xBF};
    if (b == 0xF4) return {3, 0x80, 0x8F};
    return {};
}

void appendAscii(std::string& out, char c) {
    switch (c) {
        case '"': out += "\\\""; return;
        case '\\': out += "\\\\"; return;
        case '\b': out += "\\b"; return;
        case '\f': out += "\\f"; return;
        case '\n': out += "\\n"; return;
        case '\r': out += "\\r"; return;
        case '\t': out += "\\t"; return;
        default: break;
    }
    if (static_cast<unsigned char>(c) < 0x20) {
        static constexpr char hex[] = "0123456789abcdef";
        const auto u = static_cast<unsigned char>(c);
        out += "\\u00";
        out += hex[u >> 4];
        out += hex[u & 0xF];
        return;
    }
    out += c;
}

}  // namespace

void printJsonLine(const JsonObject& j) {
    std::cout << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

void putSize(JsonObject& j, std::int64_t bytes, const std::string& text) {
    j["size"] = bytes;
    j["size_text"] = text;
}

namespace {

// Appends isoTime's text for t; false (nothing appended) where it gives null.
bool appendIsoTime(std::string& out, const std::optional<fs::TimePoint>& t) {
    CivilTime c;
    if (!t || !civilFromUnix(t->seconds, c)) return false;
    // Years 1 to 9999: every field has its fixed width.
    char buf[32];
    char* p = digits(buf, static_cast<unsigned>(c.year), 4);
    *p++ = '-';
    p = digits(p, static_cast<unsigned>(c.month), 2);
    *p++ = '-';
    p = digits(p, static_cast<unsigned>(c.day), 2);
    *p++ = 'T';
    p = digits(p, static_cast<unsigned>(c.hour), 2);
    *p++ = ':';
    p = digits(p, static_cast<unsigned>(c.minute), 2);
    *p++ = ':';
    p = digits(p, static_cast<unsigned>(c.second), 2);
    if (t->nanoseconds != 0 && t->nanoseconds < 1000000000u) {
        *p++ = '.';
        char* end = digits(p, t->nanoseconds, 9);
        while (end[-1] == '0') --end;
        p = end;
    }
    *p++ = 'Z';
    out.append(buf, p);
    return true;
}

}  // namespace

std::optional<std::string> isoTimeText(const std::optional<fs::TimePoint>& t) {
    std::string text;
    if (!appendIsoTime(text, t)) return std::nullopt;
    return text;
}

JsonObject isoTime(const std::optional<fs::TimePoint>& t) {
    auto text = isoTimeText(t);
    if (!text) return nullptr;
    return std::move(*text);
}

JsonObject warningsObject(const fs::Warnings& w) {
    return {{"unreadable_ranges", w.unreadableRanges()}, {"damaged_records", w.damagedRecords()}};
}

void appendJsonString(std::string& out, std::string_view s) {
    out += '"';
    std::size_t i = 0;
    while (i < s.size()) {
        // A run of text that needs no escape goes in at once.
        std::size_t plain = i;
        while (plain < s.size()) {
            const auto b = static_cast<unsigned char>(s[plain]);
            if (b < 0x20 || b >= 0x80 || b == '"' || b == '\\') break;
            ++plain;
        }
        out.append(s.substr(i, plain - i));
        i = plain;
        if (i == s.size()) break;
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            appendAscii(out, s[i]);
            ++i;
            continue;
        }
        const Lead lead = leadOf(b);
        if (lead.need == 0) {  // a stray continuation byte or an impossible lead
            out += kReplacement;
            ++i;
            continue;
        }
        // The sequence is kept when whole; otherwise the valid start of it
        // becomes one U+FFFD and the byte that broke it is read again.
        std::size_t k = i + 1;
        for (int n = 0; n < lead.need && k < s.size(); ++n, ++k) {
            const auto c = static_cast<unsigned char>(s[k]);
            const unsigned char low = n == 0 ? lead.low : 0x80, high = n == 0 ? lead.high : 0xBF;
            if (c < low || c > high) break;
        }
        if (k - i == static_cast<std::size_t>(lead.need) + 1) {
            out.append(s.substr(i, k - i));
        } else {
            out += kReplacement;
        }
        i = k;
    }
    out += '"';
}

void JsonLine::key(std::string_view k) {
    if (line_.size() > 1) line_ += ',';
    appendJsonString(line_, k);
    line_ += ':';
}

JsonLine& JsonLine::text(std::string_view k, std::string_view value) {
    key(k);
    appendJsonString(line_, value);
    return *this;
}

JsonLine& JsonLine::number(std::string_view k, std::int64_t value) {
    key(k);
    char buf[24];
    line_.append(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
    return *this;
}

JsonLine& JsonLine::number(std::string_view k, std::uint64_t value) {
    key(k);
    char buf[24];
    line_.append(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
    return *this;
}

JsonLine& JsonLine::flag(std::string_view k, bool value) {
    key(k);
    line_ += value ? "true" : "false";
    return *this;
}

JsonLine& JsonLine::time(std::string_view k, const std::optional<fs::TimePoint>& t) {
    key(k);
    const std::size_t mark = line_.size();
    line_ += '"';
    if (appendIsoTime(line_, t)) {
        line_ += '"';
    } else {
        line_.resize(mark);
        line_ += "null";
    }
    return *this;
}

void JsonLine::print() {
    line_ += "}\n";
    std::cout.write(line_.data(), static_cast<std::streamsize>(line_.size()));
    line_.assign(1, '{');
}

}  // namespace tavrel::cli
