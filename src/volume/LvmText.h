// LVM2's text metadata, parsed into a small tree (a pure, bounded parser).
//
// The format: members `key = value` and sections `name { members }`; a value is
// a string in double quotes (a backslash takes the next character as it is), a
// whole number (a fraction after a dot is read and dropped), or a list
// `[ value, value ... ]`; `#` starts a comment to the end of the line; a NUL
// byte ends the text. Limits: kMaxTextBytes of text, sections and lists nested
// kMaxDepth deep, kMaxNodes values in all; past them the text is refused, so a
// hostile text costs at most one pass over its bounded bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::lvm {

inline constexpr std::size_t kMaxTextBytes = 4u << 20;
inline constexpr int kMaxDepth = 16;
inline constexpr std::size_t kMaxNodes = 200000;

struct TextNode {
    enum class Kind { Section, String, Number, List };
    Kind kind = Kind::Section;
    std::string key;                 // empty for list items and the root
    std::string text;                // String
    std::int64_t number = 0;         // Number
    std::vector<TextNode> children;  // Section members, List items

    // The first member named `key` of a section, nullptr when there is none.
    const TextNode* find(std::string_view key) const;
    std::optional<std::int64_t> numberOf(std::string_view key) const;
    std::optional<std::string> textOf(std::string_view key) const;
    const TextNode* sectionOf(std::string_view key) const;  // a member that is a section
    const TextNode* listOf(std::string_view key) const;     // a member that is a list
};

struct TextParse {
    std::optional<TextNode> root;  // a Section holding the top-level members
    std::string error;             // what did not hold, when root is empty
    std::size_t offset = 0;        // where in the text
};

TextParse parseMetadataText(std::string_view text);

}  // namespace tavrel::lvm
