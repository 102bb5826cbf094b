#include "raw/SignatureRule.h"

#include <algorithm>

#include "util/Unicode.h"

namespace tavrel::raw {

bool matchesEverySector(const std::vector<std::uint8_t>& start) {
    return std::all_of(start.begin(), start.end(), [](std::uint8_t b) { return b == kWildcard; });
}

std::string recordProblem(const SettingsRecord& r) {
    if (r.extension.empty()) return "no file extension";
    if (r.startLength < 2 || r.startLength > kMaxSignature) return "a start signature of 2 to 10 bytes is needed";
    if (r.endLength == 1 || r.endLength > kMaxSignature) return "an end signature has 2 to 10 bytes";
    if (matchesEverySector({r.start.begin(), r.start.begin() + r.startLength}))
        return "a start signature of wildcards only matches every sector";
    if (r.startOffset < 0 || r.startOffset + r.startLength > 512) return "the start signature does not lie in its sector";
    if (r.sizeFieldBytes < 0 || r.sizeFieldBytes > 8) return "a size field has at most 8 bytes";
    if (r.headerSize < 0 || r.approxSize < 0 || r.skipSize < 0) return "a negative size";
    return {};
}

SignatureRule ruleFromRecord(const SettingsRecord& r, std::size_t index) {
    SignatureRule rule;
    rule.extension = utf8FromUtf16(r.extension);
    rule.start.assign(r.start.begin(), r.start.begin() + std::min<std::size_t>(r.startLength, kMaxSignature));
    rule.end.assign(r.end.begin(), r.end.begin() + std::min<std::size_t>(r.endLength, kMaxSignature));
    rule.startOffset = r.startOffset;
    rule.index = index;
    rule.sizeFieldOffset = r.sizeFieldOffset;
    rule.sizeFieldBytes = r.sizeFieldBytes;
    rule.headerSize = r.headerSize;
    rule.sizeIncludesHeader = r.sizeIncludesHeader != 0;
    rule.approxSize = r.approxSize;
    rule.skipSize = r.skipSize;
    rule.category = utf8FromUtf16(r.category);
    return rule;
}

}  // namespace tavrel::raw
