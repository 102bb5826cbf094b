#include "browse/NamePattern.h"

#include <re2/re2.h>

namespace tavrel::browse {

namespace {

// Bounds the automata RE2 builds for one pattern; a pattern that needs more
// (such as a counted repetition in the thousands) is refused.
constexpr std::int64_t kMaxPatternMemory = 8 << 20;

}  // namespace

std::optional<NamePattern> NamePattern::compile(std::string_view text) {
    if (text.size() > kMaxPatternLength) return std::nullopt;
    RE2::Options options;
    options.set_case_sensitive(false);
    options.set_log_errors(false);
    options.set_never_capture(true);
    options.set_max_mem(kMaxPatternMemory);
    auto re = std::make_shared<const RE2>(re2::StringPiece(text.data(), text.size()), options);
    if (!re->ok()) return std::nullopt;
    NamePattern p;
    p.re_ = std::move(re);
    return p;
}

bool NamePattern::matches(std::string_view name) const {
    return RE2::PartialMatch(re2::StringPiece(name.data(), name.size()), *re_);
}

}  // namespace tavrel::browse
