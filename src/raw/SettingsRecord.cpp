#include "raw/SettingsRecord.h"

#include <algorithm>

namespace tavrel::raw {

namespace {

constexpr std::size_t kExtensionAt = 0, kStartOffsetAt = 10, kExtLengthAt = 12, kStartAt = 13, kEndAt = 23;
constexpr std::size_t kStartLengthAt = 33, kEndLengthAt = 34, kIndexAt = 35, kSizeFieldOffsetAt = 36;
constexpr std::size_t kSizeBytesAt = 40, kHeaderSizeAt = 44, kIncludesHeaderAt = 48, kApproxAt = 53;
constexpr std::size_t kSkipAt = 61, kCategoryAt = 69, kCategoryUnits = 50;

void putLe(RecordBytes& out, std::size_t at, std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i) out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

void putUnits(RecordBytes& out, std::size_t at, const std::u16string& text, std::size_t maxUnits) {
    const std::size_t n = std::min(text.size(), maxUnits);
    for (std::size_t i = 0; i < n; ++i) putLe(out, at + 2 * i, text[i], 2);
}

std::u16string unitsAt(ByteSpan bytes, std::size_t at, std::size_t maxUnits) {
    std::u16string text;
    for (std::size_t i = 0; i < maxUnits; ++i) {
        const char16_t unit = le16(bytes, at + 2 * i);
        if (unit == 0) break;
        text.push_back(unit);
    }
    return text;
}

}  // namespace

RecordBytes encodeRecord(const SettingsRecord& r) {
    RecordBytes out{};
    putUnits(out, kExtensionAt, r.extension, kMaxExtension);
    putLe(out, kStartOffsetAt, static_cast<std::uint16_t>(r.startOffset), 2);
    out[kExtLengthAt] = r.extensionLength;
    std::copy(r.start.begin(), r.start.end(), out.begin() + kStartAt);
    std::copy(r.end.begin(), r.end.end(), out.begin() + kEndAt);
    out[kStartLengthAt] = r.startLength;
    out[kEndLengthAt] = r.endLength;
    out[kIndexAt] = r.index;
    putLe(out, kSizeFieldOffsetAt, static_cast<std::uint32_t>(r.sizeFieldOffset), 4);
    putLe(out, kSizeBytesAt, static_cast<std::uint32_t>(r.sizeFieldBytes), 4);
    putLe(out, kHeaderSizeAt, static_cast<std::uint32_t>(r.headerSize), 4);
    out[kIncludesHeaderAt] = r.sizeIncludesHeader;
    putLe(out, kApproxAt, static_cast<std::uint64_t>(r.approxSize), 8);
    putLe(out, kSkipAt, static_cast<std::uint64_t>(r.skipSize), 8);
    putUnits(out, kCategoryAt, r.category, kCategoryUnits);
    return out;
}

SettingsRecord decodeRecord(ByteSpan b) {
    SettingsRecord r;
    if (b.size() < kRecordSize) return r;
    r.extension = unitsAt(b, kExtensionAt, kMaxExtension);
    r.startOffset = static_cast<std::int16_t>(le16(b, kStartOffsetAt));
    r.extensionLength = b[kExtLengthAt];
    std::copy_n(b.begin() + kStartAt, kMaxSignature, r.start.begin());
    std::copy_n(b.begin() + kEndAt, kMaxSignature, r.end.begin());
    r.startLength = b[kStartLengthAt];
    r.endLength = b[kEndLengthAt];
    r.index = b[kIndexAt];
    r.sizeFieldOffset = static_cast<std::int32_t>(le32(b, kSizeFieldOffsetAt));
    r.sizeFieldBytes = static_cast<std::int32_t>(le32(b, kSizeBytesAt));
    r.headerSize = static_cast<std::int32_t>(le32(b, kHeaderSizeAt));
    r.sizeIncludesHeader = b[kIncludesHeaderAt];
    r.approxSize = static_cast<std::int64_t>(le64(b, kApproxAt));
    r.skipSize = static_cast<std::int64_t>(le64(b, kSkipAt));
    r.category = unitsAt(b, kCategoryAt, kCategoryUnits);
    return r;
}

std::u16string utf16FromUtf8(const std::string& text) {
    std::u16string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        char32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
        bool ok = extra >= 0 && i + static_cast<std::size_t>(extra) < text.size() + (extra == 0 ? 1 : 0);
        for (int k = 1; ok && k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((cc & 0xC0) != 0x80) ok = false;
            else cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        i += static_cast<std::size_t>(extra) + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

}  // namespace tavrel::raw
