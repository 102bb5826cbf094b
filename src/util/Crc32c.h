// CRC-32C (Castagnoli, reflected polynomial 0x82F63B78) as ext4 uses it for its
// metadata checksums: a running value with no inversion before or after, so
// checksums chain from a seed.
#pragma once

#include <cstdint>

#include "util/Bytes.h"

namespace tavrel {

std::uint32_t crc32c(std::uint32_t crc, ByteSpan bytes);

}  // namespace tavrel
