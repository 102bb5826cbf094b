// Bounds-checked little- and big-endian field readers over byte spans.
// Every on-disk structure is decoded through these: an offset that does not fit
// yields std::nullopt (the checked forms) or 0 (the lenient forms used after a
// single up-front size check).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tavrel {

using ByteSpan = std::span<const std::uint8_t>;
using MutableByteSpan = std::span<std::uint8_t>;

namespace detail {
template <typename T, bool BigEndian>
std::optional<T> readInt(ByteSpan data, std::size_t offset) {
    if (offset > data.size() || data.size() - offset < sizeof(T)) return std::nullopt;
    T value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        const std::size_t shiftIndex = BigEndian ? (sizeof(T) - 1 - i) : i;
        value |= static_cast<T>(static_cast<T>(data[offset + i]) << (8 * shiftIndex));
    }
    return value;
}
}  // namespace detail

inline std::optional<std::uint8_t> u8At(ByteSpan d, std::size_t o) { return detail::readInt<std::uint8_t, false>(d, o); }
inline std::optional<std::uint16_t> le16At(ByteSpan d, std::size_t o) { return detail::readInt<std::uint16_t, false>(d, o); }
inline std::optional<std::uint32_t> le32At(ByteSpan d, std::size_t o) { return detail::readInt<std::uint32_t, false>(d, o); }
inline std::optional<std::uint64_t> le64At(ByteSpan d, std::size_t o) { return detail::readInt<std::uint64_t, false>(d, o); }
inline std::optional<std::uint16_t> be16At(ByteSpan d, std::size_t o) { return detail::readInt<std::uint16_t, true>(d, o); }
inline std::optional<std::uint32_t> be32At(ByteSpan d, std::size_t o) { return detail::readInt<std::uint32_t, true>(d, o); }
inline std::optional<std::uint64_t> be64At(ByteSpan d, std::size_t o) { return detail::readInt<std::uint64_t, true>(d, o); }

// Lenient forms: 0 when the field lies outside the span.
inline std::uint8_t u8(ByteSpan d, std::size_t o) { return u8At(d, o).value_or(0); }
inline std::uint16_t le16(ByteSpan d, std::size_t o) { return le16At(d, o).value_or(0); }
inline std::uint32_t le32(ByteSpan d, std::size_t o) { return le32At(d, o).value_or(0); }
inline std::uint64_t le64(ByteSpan d, std::size_t o) { return le64At(d, o).value_or(0); }
inline std::uint16_t be16(ByteSpan d, std::size_t o) { return be16At(d, o).value_or(0); }
inline std::uint32_t be32(ByteSpan d, std::size_t o) { return be32At(d, o).value_or(0); }
inline std::uint64_t be64(ByteSpan d, std::size_t o) { return be64At(d, o).value_or(0); }

// Sub-span [offset, offset+length) or an empty span when it does not fit.
inline ByteSpan subSpan(ByteSpan d, std::size_t offset, std::size_t length) {
    if (offset > d.size() || d.size() - offset < length) return {};
    return d.subspan(offset, length);
}

// True when [offset, offset+length) lies inside a span of the given size.
inline bool fits(std::size_t size, std::size_t offset, std::size_t length) {
    return offset <= size && size - offset >= length;
}

}  // namespace tavrel
