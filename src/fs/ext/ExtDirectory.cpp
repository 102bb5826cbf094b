#include "fs/ext/ExtDirectory.h"

#include <algorithm>

#include "util/Unicode.h"

namespace tavrel::fs::ext {

namespace {

constexpr std::size_t kHeader = 8;

std::size_t entryBytes(std::size_t nameLength) { return (kHeader + nameLength + 3) & ~std::size_t{3}; }

struct RawEntry {
    std::uint32_t inode;
    std::size_t recLen;
    std::size_t nameLen;
    std::uint8_t fileType;
};

RawEntry rawAt(ByteSpan b, std::size_t at, bool fileType) {
    RawEntry e{le32(b, at), le16(b, at + 4), 0, 0};
    if (fileType) {
        e.nameLen = u8(b, at + 6);
        e.fileType = u8(b, at + 7);
    } else {
        e.nameLen = le16(b, at + 6);
    }
    return e;
}

bool dotName(ByteSpan name) {
    return (name.size() == 1 && name[0] == '.') || (name.size() == 2 && name[0] == '.' && name[1] == '.');
}

bool plausibleName(ByteSpan name) {
    return !name.empty() && std::none_of(name.begin(), name.end(), [](std::uint8_t c) { return c == 0 || c == '/'; });
}

// A deleted entry in slack is taken only when it holds together: an inode of
// the volume, a name that fits the slack and holds no NUL or '/', a rec_len
// that covers the name, and a known file type.
bool plausibleDeleted(ByteSpan b, std::size_t at, std::size_t end, const DirBlockForm& form, RawEntry& e) {
    if (at + kHeader > end) return false;
    e = rawAt(b, at, form.fileType);
    if (e.inode == 0 || e.inode > form.inodesCount || e.nameLen == 0 || e.nameLen > 255) return false;
    if (e.recLen < entryBytes(e.nameLen) || e.recLen % 4 != 0 || at + kHeader + e.nameLen > end) return false;
    if (form.fileType && (e.fileType == 0 || e.fileType > 7)) return false;
    return plausibleName(subSpan(b, at + kHeader, e.nameLen));
}

void addItem(ByteSpan b, std::size_t at, const RawEntry& e, bool deleted, std::int64_t where,
             std::vector<ExtDirItem>& out) {
    const ByteSpan name = subSpan(b, at + kHeader, e.nameLen);
    if (dotName(name)) return;
    out.push_back({utf8Replacing(name), e.inode, e.fileType, deleted, where + static_cast<std::int64_t>(at)});
}

void scanSlack(ByteSpan b, std::size_t from, std::size_t end, std::int64_t where, const DirBlockForm& form,
               std::vector<ExtDirItem>& out) {
    std::size_t at = (from + 3) & ~std::size_t{3};
    while (at + kHeader <= end) {
        RawEntry e{};
        if (plausibleDeleted(b, at, end, form, e)) {
            addItem(b, at, e, true, where, out);
            at += entryBytes(e.nameLen);
        } else {
            at += 4;
        }
    }
}

}  // namespace

bool decodeDirectoryBlock(ByteSpan b, std::int64_t where, const DirBlockForm& form, std::vector<ExtDirItem>& out) {
    std::size_t at = 0;
    const std::size_t size = b.size();
    // An index node of a hashed folder: one empty entry spanning the block,
    // index data behind it.
    if (size >= kHeader && le32(b, 0) == 0 && le16(b, 4) == size && rawAt(b, 0, form.fileType).nameLen == 0)
        return true;
    bool first = true;
    while (at + kHeader <= size) {
        const RawEntry e = rawAt(b, at, form.fileType);
        if (e.recLen < kHeader || e.recLen % 4 != 0 || e.recLen > size - at) return false;
        if (kHeader + e.nameLen > e.recLen) return false;
        if (e.inode != 0 && e.nameLen > 0 && e.inode <= form.inodesCount) addItem(b, at, e, false, where, out);
        // A block's first entry, when removed, keeps its name and loses its inode number.
        if (e.inode == 0 && e.nameLen > 0 && form.slack && plausibleName(subSpan(b, at + kHeader, e.nameLen)))
            addItem(b, at, e, true, where, out);
        const ByteSpan name = subSpan(b, at + kHeader, e.nameLen);
        // After ".." of a hashed folder's first block lies its index, not slack.
        const bool indexFollows = form.indexRoot && !first && dotName(name) && name.size() == 2;
        if (form.slack && !indexFollows) {
            const std::size_t used = entryBytes(e.nameLen);
            if (e.recLen > used) scanSlack(b, at + used, at + e.recLen, where, form, out);
        }
        first = false;
        at += e.recLen;
    }
    return true;
}


}  // namespace tavrel::fs::ext
