// The name-search pattern: literal alternatives separated by "|", matched
// anywhere in a name without regard to letter case.
//
// The accepted language is a small subset of the regular-expression grammar
// users know: "|" alternation, "." for any one character, "\" before a
// punctuation character for that character itself, and "^" / "$" at the start
// / end of an alternative to anchor it. Quantifiers, groups and classes
// ("*", "+", "?", "(", ")", "[", "]", "{", "}") and "\" before a letter or digit
// are refused, so a pattern such as "*.jpg" is refused as it would be by a
// full regular-expression engine.
//
// Why a subset and not a general engine: names come from damaged or hostile
// images and patterns from users, and a backtracking engine can take
// exponential time on both. Without quantifiers every alternative is a fixed
// sequence of single-character tests, so a match costs at most
// name length x pattern length steps; names are further bounded to
// kMaxMatchedLength characters and patterns to kMaxPatternLength, so no
// pattern and no name can make a search hang.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::browse {

inline constexpr std::size_t kMaxPatternLength = 1024;   // characters
inline constexpr std::size_t kMaxMatchedLength = 4096;   // characters of a name tested

class NamePattern {
public:
    // The pattern of text (UTF-8), or nullopt when it holds characters the search
    // does not accept (or is longer than kMaxPatternLength). The empty text
    // compiles to a pattern that matches every name.
    static std::optional<NamePattern> compile(std::string_view text);

    // True when some alternative occurs in name (UTF-8) in any letter case.
    bool matches(std::string_view name) const;

private:
    struct Atom {
        char32_t ch = 0;       // case-folded
        bool any = false;      // "."
    };
    struct Alternative {
        std::vector<Atom> atoms;
        bool anchoredStart = false;
        bool anchoredEnd = false;
    };
    static bool matchesAt(const Alternative& alt, const std::u32string& name, std::size_t at);

    std::vector<Alternative> alternatives_;
};

// Code points of UTF-8 text (invalid bytes become U+FFFD), case-folded for
// comparison: the simple one-to-one lower-case mappings of the Latin, Greek and
// Cyrillic letters; other characters compare as they are.
std::u32string foldedCodePoints(std::string_view utf8, std::size_t maxLength);

}  // namespace tavrel::browse
