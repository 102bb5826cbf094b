// The name-search pattern: a regular expression found anywhere in a name,
// without regard to letter case.
//
// Patterns are compiled by RE2, whose matching time grows linearly with the
// name, whatever the pattern: names come from damaged or hostile images and
// patterns from users, and a backtracking engine can take exponential time on
// both. What RE2 accepts is accepted ("|", ".", classes, groups, quantifiers,
// anchors); what it refuses is refused: a pattern that is not a valid
// expression (such as "*.jpg"), and backreferences and lookaround, which no
// linear-time engine offers.
#pragma once

#include <memory>
#include <optional>
#include <string_view>

namespace re2 {
class RE2;
}

namespace tavrel::browse {

inline constexpr std::size_t kMaxPatternLength = 1024;  // bytes

class NamePattern {
public:
    // The pattern of text (UTF-8), or nullopt when it is not an expression RE2
    // accepts (or is longer than kMaxPatternLength, or would need more than a
    // few MiB to match). The empty text matches every name.
    static std::optional<NamePattern> compile(std::string_view text);

    // True when the expression matches some part of name (UTF-8), in any case.
    bool matches(std::string_view name) const;

private:
    std::shared_ptr<const re2::RE2> re_;
};

}  // namespace tavrel::browse
