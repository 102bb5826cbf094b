#include "fs/xfs/XfsInode.h"

namespace tavrel::fs::xfs {

namespace {

constexpr std::size_t kCoreV2 = 100;  // versions 1 and 2: the literal area follows
constexpr std::size_t kCoreV3 = 176;
constexpr std::size_t kCrcOffset = 100;
constexpr std::uint64_t kFlag2BigTime = 0x8;
constexpr std::uint64_t kFlag2Nrext64 = 0x10;
constexpr std::int64_t kBigTimeEpochOffset = std::int64_t{1} << 31;  // bigtime counts from -2^31 s

}  // namespace

std::optional<TimePoint> decodeTime(ByteSpan f, bool bigTime) {
    TimePoint p;
    if (bigTime) {
        const std::uint64_t ns = be64(f, 0);
        p.seconds = static_cast<std::int64_t>(ns / 1'000'000'000u) - kBigTimeEpochOffset;
        p.nanoseconds = static_cast<std::uint32_t>(ns % 1'000'000'000u);
        if (ns == 0) return std::nullopt;
        return p;
    }
    p.seconds = static_cast<std::int32_t>(be32(f, 0));
    const std::uint32_t ns = be32(f, 4);
    p.nanoseconds = ns < 1'000'000'000u ? ns : 0;
    if (p.seconds == 0 && p.nanoseconds == 0) return std::nullopt;
    return p;
}

std::optional<XfsInode> decodeInode(ByteSpan b, const XfsSuperblock& sb) {
    if (b.size() < kCoreV3 || be16(b, 0) != kInodeMagic) return std::nullopt;
    XfsInode n;
    n.mode = be16(b, 2);
    n.version = u8(b, 4);
    if (n.version < 1 || n.version > 3 || (n.version == 3) != sb.crcs()) return std::nullopt;
    n.format = static_cast<ForkFormat>(u8(b, 5));
    n.links = n.version == 1 ? be16(b, 6) : be32(b, 16);
    if (n.version == 3) n.flags2 = be64(b, 120);
    const bool big = (n.flags2 & kFlag2BigTime) != 0;
    n.accessed = decodeTime(subSpan(b, 32, 8), big);
    n.modified = decodeTime(subSpan(b, 40, 8), big);
    n.changed = decodeTime(subSpan(b, 48, 8), big);
    if (n.version == 3) n.created = decodeTime(subSpan(b, 144, 8), big);
    n.size = be64(b, 56);
    n.extentCount = (n.flags2 & kFlag2Nrext64) ? be64(b, 24) : be32(b, 76);
    const std::size_t literal = n.version == 3 ? kCoreV3 : kCoreV2;
    const std::size_t forkOffset = u8(b, 82);
    const std::size_t forkBytes = forkOffset != 0 ? forkOffset * 8 : b.size() - literal;
    const ByteSpan fork = subSpan(b, literal, forkBytes);
    if (fork.size() != forkBytes) return std::nullopt;
    n.dataFork.assign(fork.begin(), fork.end());
    if (n.version == 3) n.crcOk = crcMatches(b, kCrcOffset);
    return n;
}

}  // namespace tavrel::fs::xfs
