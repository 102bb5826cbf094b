#include "cli/TerminalText.h"

#include <cstdio>

namespace tavrel::cli {

namespace {

void escapeByte(unsigned char b, std::string& out) {
    char esc[8];
    std::snprintf(esc, sizeof esc, "\\x%02X", b);
    out += esc;
}

void appendEscaped(const std::string& text, bool nameOnly, std::string& out) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (b == 0xC2 && next >= 0x80 && next <= 0x9F) {
            escapeByte(b, out);
            escapeByte(next, out);
            ++i;
        } else if (b < 0x20 || b == 0x7F || (nameOnly && (b == '/' || b == '\\'))) {
            escapeByte(b, out);
        } else {
            out += static_cast<char>(b);
        }
    }
}

}  // namespace

std::string terminalText(const std::string& text) {
    std::string out;
    appendEscaped(text, false, out);
    return out;
}

std::string listingPath(const std::vector<std::string>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i) out += '/';
        appendEscaped(names[i], true, out);
    }
    return out;
}

}  // namespace tavrel::cli
