#include "fs/xfs/XfsDirectory.h"

#include <algorithm>

#include "fs/xfs/XfsSuperblock.h"
#include "util/Unicode.h"

namespace tavrel::fs::xfs {

namespace {

constexpr std::uint32_t kBlockMagic = 0x58443242;    // "XD2B"
constexpr std::uint32_t kDataMagic = 0x58443244;     // "XD2D"
constexpr std::uint32_t kBlockMagicV5 = 0x58444233;  // "XDB3"
constexpr std::uint32_t kDataMagicV5 = 0x58444433;   // "XDD3"
constexpr std::size_t kHeader = 16;
constexpr std::size_t kHeaderV5 = 64;
constexpr std::size_t kCrcOffset = 4;
constexpr std::uint16_t kFreeTag = 0xFFFF;

bool dotName(ByteSpan name) {
    return (name.size() == 1 && name[0] == '.') || (name.size() == 2 && name[0] == '.' && name[1] == '.');
}

bool plausibleName(ByteSpan name) {
    return !name.empty() && std::none_of(name.begin(), name.end(), [](std::uint8_t c) { return c == 0 || c == '/'; });
}

// Bytes of a data entry: inode (8), name length (1), name, file type (1 when
// kept), tag (2), rounded up to 8.
std::size_t entryBytes(std::size_t nameLength, bool fileTypes) {
    return (8 + 1 + nameLength + (fileTypes ? 1 : 0) + 2 + 7) & ~std::size_t{7};
}

// Deleted entries inside the free region [start, end) of block `b`, at
// 8-byte steps. An entry is taken when its name is plausible, its file type
// known, its tag (its own offset, or the region's start where its end is the
// region's end) agrees, and its inode names a slot of the volume.
void scanFree(ByteSpan b, std::size_t start, std::size_t end, std::int64_t where, const DirForm& form,
              std::vector<XfsDirItem>& out) {
    std::size_t at = start;
    while (at + 16 <= end) {
        const std::size_t nameLength = u8(b, at + 8);
        const std::size_t size = entryBytes(nameLength, form.fileTypes);
        bool ok = nameLength > 0 && at + size <= end;
        const ByteSpan name = subSpan(b, at + 9, nameLength);
        ok = ok && plausibleName(name) && !dotName(name);
        const std::uint8_t type = form.fileTypes ? u8(b, at + 9 + nameLength) : 0;
        ok = ok && (!form.fileTypes || (type >= 1 && type <= 7));
        if (ok) {
            const std::size_t tag = be16(b, at + size - 2);
            ok = tag == at || (at + size == end && tag == start);
        }
        // At the head of the region the tag and length overwrote the inode's high half.
        const std::uint64_t inode = at == start ? be32(b, at + 4) : be64(b, at);
        ok = ok && inode != 0 && (!form.validInode || form.validInode(inode));
        if (!ok) {
            at += 8;
            continue;
        }
        out.push_back({utf8Replacing(name), inode, type, true, where + static_cast<std::int64_t>(at)});
        at += size;
    }
}

}  // namespace

bool dirBlockCrcOk(ByteSpan b, bool crcs) { return !crcs || crcMatches(b, kCrcOffset); }

DirBlockKind dirBlockKind(ByteSpan b, bool crcs) {
    const std::uint32_t magic = be32(b, 0);
    if (magic == (crcs ? kBlockMagicV5 : kBlockMagic)) return DirBlockKind::Block;
    if (magic == (crcs ? kDataMagicV5 : kDataMagic)) return DirBlockKind::Data;
    return DirBlockKind::NotData;
}

bool decodeShortForm(ByteSpan fork, const DirForm& form, std::vector<XfsDirItem>& out) {
    if (fork.size() < 6) return false;
    const std::size_t count = u8(fork, 0);
    const bool wide = u8(fork, 1) != 0;  // inode numbers of 8 bytes rather than 4
    const std::size_t numberBytes = wide ? 8 : 4;
    std::size_t at = 2 + numberBytes;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t nameLength = u8(fork, at);
        const std::size_t typeBytes = form.fileTypes ? 1 : 0;
        if (nameLength == 0 || !fits(fork.size(), at, 3 + nameLength + typeBytes + numberBytes)) return false;
        const ByteSpan name = subSpan(fork, at + 3, nameLength);
        const std::uint8_t type = form.fileTypes ? u8(fork, at + 3 + nameLength) : 0;
        const std::size_t numberAt = at + 3 + nameLength + typeBytes;
        const std::uint64_t inode = wide ? be64(fork, numberAt) : be32(fork, numberAt);
        if (plausibleName(name) && inode != 0) out.push_back({utf8Replacing(name), inode, type, false, -1});
        at = numberAt + numberBytes;
    }
    return true;
}

bool decodeDataBlock(ByteSpan b, std::int64_t where, const DirForm& form, std::vector<XfsDirItem>& out) {
    const DirBlockKind kind = dirBlockKind(b, form.crcs);
    if (kind == DirBlockKind::NotData) return false;
    std::size_t end = b.size();
    if (kind == DirBlockKind::Block) {
        // A single-block folder ends with its hash leaf: entries of 8 bytes,
        // then a tail holding their count.
        if (end < 8) return false;
        const std::uint64_t leaves = be32(b, end - 8);
        if (leaves > (end - 8) / 8) return false;
        end -= 8 + static_cast<std::size_t>(leaves) * 8;
    }
    std::size_t at = form.crcs ? kHeaderV5 : kHeader;
    while (at < end) {
        if (be16(b, at) == kFreeTag) {
            const std::size_t length = be16(b, at + 2);
            if (length < 8 || length % 8 != 0 || length > end - at) return false;
            scanFree(b, at, at + length, where, form, out);
            at += length;
            continue;
        }
        const std::size_t nameLength = u8(b, at + 8);
        const std::size_t size = entryBytes(nameLength, form.fileTypes);
        if (nameLength == 0 || size > end - at || be16(b, at + size - 2) != at) return false;
        const ByteSpan name = subSpan(b, at + 9, nameLength);
        const std::uint64_t inode = be64(b, at);
        const std::uint8_t type = form.fileTypes ? u8(b, at + 9 + nameLength) : 0;
        if (!dotName(name) && plausibleName(name))
            out.push_back({utf8Replacing(name), inode, type, false, where + static_cast<std::int64_t>(at)});
        at += size;
    }
    return true;
}


}  // namespace tavrel::fs::xfs
