#include "util/Crc32c.h"

#include <array>

namespace tavrel {

namespace {

constexpr std::array<std::uint32_t, 256> makeTable() {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0x82F63B78u : c >> 1;
        t[i] = c;
    }
    return t;
}

constexpr auto kTable = makeTable();

}  // namespace

std::uint32_t crc32c(std::uint32_t crc, ByteSpan bytes) {
    for (const std::uint8_t b : bytes) crc = kTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return crc;
}

}  // namespace tavrel
