#include "image/ImageTable.h"

#include <algorithm>

namespace tavrel {

namespace {
constexpr std::uint64_t kPieceEntries = (1u << 20) / 4;
}  // namespace

std::uint64_t tableAllowance(const HostFile& file) {
    const std::int64_t stored = file.storedBytes();
    return std::max<std::uint64_t>(kTableBytesAlways, stored > 0 ? static_cast<std::uint64_t>(stored) : 0);
}

bool tableJustified(std::uint64_t bytes, const HostFile& file) { return bytes <= tableAllowance(file); }

bool readTable32(const HostFile& file, std::int64_t offset, std::uint64_t count, std::vector<std::uint32_t>& out,
                 bool bigEndian) {
    out.clear();
    if (offset < 0 || count > static_cast<std::uint64_t>(INT64_MAX - offset) / 4) return false;
    out.reserve(static_cast<std::size_t>(count));
    std::vector<std::uint8_t> piece;
    for (std::uint64_t done = 0; done < count;) {
        const std::uint64_t n = std::min(kPieceEntries, count - done);
        piece.resize(static_cast<std::size_t>(n * 4));
        std::size_t got = 0;
        if (!file.readAt(offset + static_cast<std::int64_t>(done * 4), piece, &got) || got != piece.size()) {
            out.clear();
            return false;
        }
        for (std::size_t i = 0; i < n; ++i) out.push_back(bigEndian ? be32(piece, i * 4) : le32(piece, i * 4));
        done += n;
    }
    return true;
}

}  // namespace tavrel
