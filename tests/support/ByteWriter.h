// Writes on-disk structures field by field for the tests: little- and big-endian
// integers, raw bytes and texts at chosen offsets. Every write is bounds-checked
// and throws std::out_of_range when it does not fit, so a wrong offset in a test
// fails loudly instead of writing past a buffer.
//
// A writer either owns its bytes (a fixed size, or growable so that writes past
// the end extend the buffer with zeros) or writes into bytes the caller owns (a
// sector of a disk held in memory, a std::array).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::test {

class ByteWriter {
public:
    // Owns `size` zero bytes; writes must stay inside them.
    explicit ByteWriter(std::size_t size) : own_(size) {}

    // Writes into the caller's bytes, which must outlive the writer.
    explicit ByteWriter(std::span<std::uint8_t> target) : ext_(target.data()), extSize_(target.size()) {}

    // Owns a buffer that starts empty and grows (zero-filled) to fit each write.
    static ByteWriter growable() {
        ByteWriter w(std::size_t{0});
        w.grows_ = true;
        return w;
    }

    ByteWriter& u8(std::size_t at, std::uint8_t v) { return put(at, v, 1, false); }
    ByteWriter& le16(std::size_t at, std::uint16_t v) { return put(at, v, 2, false); }
    ByteWriter& le32(std::size_t at, std::uint32_t v) { return put(at, v, 4, false); }
    ByteWriter& le64(std::size_t at, std::uint64_t v) { return put(at, v, 8, false); }
    ByteWriter& be16(std::size_t at, std::uint16_t v) { return put(at, v, 2, true); }
    ByteWriter& be32(std::size_t at, std::uint32_t v) { return put(at, v, 4, true); }
    ByteWriter& be64(std::size_t at, std::uint64_t v) { return put(at, v, 8, true); }

    ByteWriter& bytes(std::size_t at, std::span<const std::uint8_t> src) {
        std::uint8_t* p = room(at, src.size());
        for (std::size_t i = 0; i < src.size(); ++i) p[i] = src[i];
        return *this;
    }
    ByteWriter& bytes(std::size_t at, std::initializer_list<std::uint8_t> src) {
        return bytes(at, std::span<const std::uint8_t>(src.begin(), src.size()));
    }
    ByteWriter& fill(std::size_t at, std::size_t count, std::uint8_t value) {
        std::uint8_t* p = room(at, count);
        for (std::size_t i = 0; i < count; ++i) p[i] = value;
        return *this;
    }

    // The text's bytes as they are (no terminator).
    ByteWriter& ascii(std::size_t at, std::string_view text) {
        std::uint8_t* p = room(at, text.size());
        for (std::size_t i = 0; i < text.size(); ++i) p[i] = static_cast<std::uint8_t>(text[i]);
        return *this;
    }
    // Two bytes per code unit, low byte first (no terminator).
    ByteWriter& utf16le(std::size_t at, std::u16string_view text) {
        std::uint8_t* p = room(at, 2 * text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            p[2 * i] = static_cast<std::uint8_t>(text[i] & 0xFF);
            p[2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
        }
        return *this;
    }

    // A fixed writer over [at, at+length) of these bytes, for one record or
    // sector. Valid until a growable writer grows again.
    ByteWriter window(std::size_t at, std::size_t length) { return ByteWriter(std::span(room(at, length), length)); }

    std::size_t size() const { return ext_ ? extSize_ : own_.size(); }
    std::uint8_t* data() { return ext_ ? ext_ : own_.data(); }
    const std::uint8_t* data() const { return ext_ ? ext_ : own_.data(); }
    std::span<std::uint8_t> span() { return {data(), size()}; }
    std::span<const std::uint8_t> span() const { return {data(), size()}; }
    std::vector<std::uint8_t> vector() const { return {data(), data() + size()}; }

private:
    // Pointer to `count` writable bytes at `at`, growing an owned growable buffer.
    std::uint8_t* room(std::size_t at, std::size_t count) {
        if (at > size() || size() - at < count) {
            if (!grows_ || at > SIZE_MAX - count)
                throw std::out_of_range("ByteWriter: " + std::to_string(count) + " bytes at " + std::to_string(at) +
                                        " do not fit in " + std::to_string(size()));
            own_.resize(at + count);
        }
        return data() + at;
    }

    ByteWriter& put(std::size_t at, std::uint64_t v, std::size_t width, bool bigEndian) {
        std::uint8_t* p = room(at, width);
        for (std::size_t i = 0; i < width; ++i) {
            const std::size_t shift = 8 * (bigEndian ? width - 1 - i : i);
            p[i] = static_cast<std::uint8_t>(v >> shift);
        }
        return *this;
    }

    std::vector<std::uint8_t> own_;
    std::uint8_t* ext_ = nullptr;
    std::size_t extSize_ = 0;
    bool grows_ = false;
};

}  // namespace tavrel::test
