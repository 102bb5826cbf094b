// "$I" recycle-bin control files for the tests, in both layouts: version 1 (the
// path at byte 24 in a field of 260 units) and version 2 (the path length in
// units, terminator included, at byte 24 and the path at 28).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/ByteWriter.h"

namespace tavrel::test {

inline std::vector<std::uint8_t> recycleInfo(int version, const std::u16string& path, std::uint64_t size = 1234) {
    const bool v2 = version == 2;
    const std::size_t at = v2 ? 28 : 24;
    ByteWriter w(v2 ? at + 2 * (path.size() + 1) : 24 + 2 * 260);
    w.le64(0, static_cast<std::uint64_t>(version)).le64(8, size).le64(16, 0x01D9000000000000ULL);
    if (v2) w.le32(24, static_cast<std::uint32_t>(path.size() + 1));
    w.utf16le(at, path);
    return std::vector<std::uint8_t>(w.data(), w.data() + w.size());
}

}  // namespace tavrel::test
