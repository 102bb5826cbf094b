#include "fs/ntfs/RecordLoader.h"

#include <algorithm>
#include <cstring>

#include "fs/ntfs/NtfsTypes.h"

namespace tavrel::fs {

RecordKind recordKindOf(ByteSpan bytes) {
    if (le32(bytes, 0) == kFileTag) return RecordKind::Record;
    // Each byte equal to the one after it, and the first zero: one memcmp
    // instead of a loop the fuzzing build instruments byte by byte.
    const bool zeros = bytes.empty() || (bytes[0] == 0 && std::memcmp(bytes.data(), bytes.data() + 1, bytes.size() - 1) == 0);
    return zeros ? RecordKind::Empty : RecordKind::NotRecord;
}

std::optional<LoadedRecord> decodeRecord(std::vector<std::uint8_t> bytes, std::int64_t offset) {
    if (le32(bytes, 0) != kFileTag) return std::nullopt;
    LoadedRecord r;
    r.offset = offset;
    r.bytes = std::move(bytes);
    r.tornFixup = !applyFixup(r.bytes);
    r.header = decodeRecordHeader(r.bytes);
    AttributeWalk walk = walkAttributes(r.bytes);
    r.attributes = std::move(walk.attributes);
    r.overran = walk.overran;
    return r;
}

std::optional<LoadedRecord> MftRecordLoader::load(std::int64_t offset, std::uint32_t size, bool expected) const {
    if (offset < 0 || size == 0) return std::nullopt;
    std::vector<std::uint8_t> bytes(size);
    if (!volume_->readAt(offset, bytes)) warnings_->unreadable(offset);
    return fromBytes(offset, bytes, expected);
}

std::optional<LoadedRecord> MftRecordLoader::load(const std::vector<RecordPiece>& pieces, std::uint32_t size,
                                                  bool expected) const {
    if (pieces.empty() || pieces.front().offset < 0 || size == 0) return std::nullopt;
    std::vector<std::uint8_t> bytes(size);
    std::size_t at = 0;
    for (const RecordPiece& p : pieces) {
        if (p.offset < 0 || !fits(bytes.size(), at, p.length)) {
            warnings_->damaged(pieces.front().offset);
            return std::nullopt;
        }
        if (!volume_->readAt(p.offset, MutableByteSpan(bytes.data() + at, p.length))) warnings_->unreadable(p.offset);
        at += p.length;
    }
    return fromBytes(pieces.front().offset, bytes, expected);
}

std::optional<LoadedRecord> MftRecordLoader::fromBytes(std::int64_t offset, ByteSpan bytes, bool expected) const {
    if (le32(bytes, 0) != kFileTag) {
        if (expected && recordKindOf(bytes) == RecordKind::NotRecord) warnings_->damaged(offset);
        return std::nullopt;
    }
    auto record = decodeRecord(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), offset);
    if (record && record->damaged()) warnings_->damaged(offset);
    return record;
}

}  // namespace tavrel::fs
