#include "volume/LvmText.h"

#include <limits>

namespace tavrel::lvm {

namespace {

bool isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
           c == '+' || c == '-';
}

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {
        // A NUL ends the text: the metadata area pads its copies with zeros.
        if (const auto nul = text_.find('\0'); nul != std::string_view::npos) text_ = text_.substr(0, nul);
    }

    TextParse run() {
        TextParse out;
        if (text_.size() > kMaxTextBytes) {
            out.error = "text too long";
            return out;
        }
        TextNode root;
        if (!members(root, 0, false)) {
            out.error = error_;
            out.offset = at_;
            return out;
        }
        out.root = std::move(root);
        return out;
    }

private:
    bool fail(const char* what) {
        if (error_.empty()) error_ = what;
        return false;
    }

    void skipBlanks() {
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == '#') {
                while (at_ < text_.size() && text_[at_] != '\n') ++at_;
            } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
                ++at_;
            } else {
                return;
            }
        }
    }

    bool count() { return ++nodes_ <= kMaxNodes || fail("too many values"); }

    // Members up to the end of the text (top level) or to the closing brace.
    bool members(TextNode& section, int depth, bool braced) {
        for (;;) {
            skipBlanks();
            if (at_ >= text_.size()) return !braced || fail("section not closed");
            if (text_[at_] == '}') {
                if (!braced) return fail("unexpected '}'");
                ++at_;
                return true;
            }
            TextNode node;
            if (!name(node.key)) return false;
            skipBlanks();
            if (at_ >= text_.size()) return fail("member without a value");
            if (text_[at_] == '{') {
                ++at_;
                if (depth + 1 > kMaxDepth) return fail("sections nested too deep");
                node.kind = TextNode::Kind::Section;
                if (!count() || !members(node, depth + 1, true)) return false;
            } else if (text_[at_] == '=') {
                ++at_;
                skipBlanks();
                if (!value(node, depth + 1)) return false;
            } else {
                return fail("expected '=' or '{'");
            }
            section.children.push_back(std::move(node));
        }
    }

    bool name(std::string& out) {
        if (at_ < text_.size() && text_[at_] == '"') return quoted(out);
        const std::size_t from = at_;
        while (at_ < text_.size() && isNameChar(text_[at_])) ++at_;
        if (at_ == from) return fail("expected a name");
        out.assign(text_.substr(from, at_ - from));
        return true;
    }

    bool quoted(std::string& out) {
        ++at_;  // the opening quote
        while (at_ < text_.size()) {
            char c = text_[at_++];
            if (c == '"') return true;
            if (c == '\\') {
                if (at_ >= text_.size()) break;
                c = text_[at_++];
            }
            out += c;
        }
        return fail("string not closed");
    }

    bool number(std::int64_t& out) {
        const bool negative = at_ < text_.size() && text_[at_] == '-';
        if (negative) ++at_;
        const std::size_t from = at_;
        std::uint64_t v = 0;
        while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
            const auto digit = static_cast<std::uint64_t>(text_[at_] - '0');
            if (v > (static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) - digit) / 10)
                return fail("number too large");
            v = v * 10 + digit;
            ++at_;
        }
        if (at_ == from) return fail("expected a value");
        if (at_ < text_.size() && text_[at_] == '.') {
            ++at_;
            while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
        }
        out = negative ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v);
        return true;
    }

    bool value(TextNode& node, int depth) {
        if (!count()) return false;
        if (at_ >= text_.size()) return fail("expected a value");
        const char c = text_[at_];
        if (c == '"') {
            node.kind = TextNode::Kind::String;
            return quoted(node.text);
        }
        if (c == '[') {
            ++at_;
            if (depth + 1 > kMaxDepth) return fail("lists nested too deep");
            node.kind = TextNode::Kind::List;
            for (;;) {
                skipBlanks();
                if (at_ >= text_.size()) return fail("list not closed");
                if (text_[at_] == ']') {
                    ++at_;
                    return true;
                }
                TextNode item;
                if (!value(item, depth + 1)) return false;
                node.children.push_back(std::move(item));
                skipBlanks();
                if (at_ < text_.size() && text_[at_] == ',') ++at_;
            }
        }
        node.kind = TextNode::Kind::Number;
        return number(node.number);
    }

    std::string_view text_;
    std::size_t at_ = 0;
    std::size_t nodes_ = 0;
    std::string error_;
};

}  // namespace

const TextNode* TextNode::find(std::string_view name) const {
    for (const TextNode& child : children)
        if (child.key == name) return &child;
    return nullptr;
}

std::optional<std::int64_t> TextNode::numberOf(std::string_view name) const {
    const TextNode* n = find(name);
    if (!n || n->kind != Kind::Number) return std::nullopt;
    return n->number;
}

std::optional<std::string> TextNode::textOf(std::string_view name) const {
    const TextNode* n = find(name);
    if (!n || n->kind != Kind::String) return std::nullopt;
    return n->text;
}

const TextNode* TextNode::sectionOf(std::string_view name) const {
    const TextNode* n = find(name);
    return n && n->kind == Kind::Section ? n : nullptr;
}

const TextNode* TextNode::listOf(std::string_view name) const {
    const TextNode* n = find(name);
    return n && n->kind == Kind::List ? n : nullptr;
}

TextParse parseMetadataText(std::string_view text) { return Parser(text).run(); }

}  // namespace tavrel::lvm
