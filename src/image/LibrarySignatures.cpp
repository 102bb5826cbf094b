#include "image/LibrarySignatures.h"

#include <algorithm>
#include <array>

namespace tavrel {

namespace {

template <std::size_t N>
bool startsWith(const ImageProbe& probe, const std::array<std::uint8_t, N>& magic) {
    const ByteSpan head = probe.at(0, N);
    return !head.empty() && std::equal(magic.begin(), magic.end(), head.begin());
}

}  // namespace

bool looksLikeVhdx(const ImageProbe& probe) {
    return startsWith(probe, std::array<std::uint8_t, 8>{'v', 'h', 'd', 'x', 'f', 'i', 'l', 'e'});
}

bool looksLikeQcow(const ImageProbe& probe) {
    if (!startsWith(probe, std::array<std::uint8_t, 4>{'Q', 'F', 'I', 0xFB})) return false;
    const std::uint32_t version = be32(probe.at(4, 4), 0);
    return version >= 1 && version <= 3;
}

std::uint32_t qcowEncryptionMethod(ByteSpan header) {
    return header.size() < kQcowCryptOffset + 4 ? 0 : be32(header, kQcowCryptOffset);
}

bool looksLikeEwf(const ImageProbe& probe) {
    return startsWith(probe, std::array<std::uint8_t, 8>{'E', 'V', 'F', 0x09, 0x0D, 0x0A, 0xFF, 0x00}) ||
           startsWith(probe, std::array<std::uint8_t, 8>{'E', 'V', 'F', '2', 0x0D, 0x0A, 0x81, 0x00});
}

}  // namespace tavrel
