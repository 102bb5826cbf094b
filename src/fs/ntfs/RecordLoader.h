// Loading one MFT record: read its bytes, check the "FILE" tag, undo the
// update-sequence fixup and walk the attribute headers. Every place that needs a
// record goes through here, so damage is judged and counted in one way.
//
// decodeRecord() is the pure part (bytes in, record out) and can be tested and
// fuzzed from memory; MftRecordLoader adds the reading and the warning counts.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "fs/ScanOutcome.h"
#include "fs/ntfs/MftRecord.h"
#include "fs/ntfs/NtfsTypes.h"
#include "image/VolumeView.h"

namespace tavrel::fs {

struct LoadedRecord {
    std::int64_t offset = -1;              // volume byte offset
    std::vector<std::uint8_t> bytes;       // fixed up
    RecordHeader header;
    std::vector<AttributeHeader> attributes;
    bool tornFixup = false;                // a stride's marker did not match (bytes restored anyway)
    bool overran = false;                  // the attribute walk did not end at the end marker
    bool damaged() const { return tornFixup || overran; }

    ByteSpan value(const AttributeHeader& a) const { return residentValue(bytes, a); }
    ByteSpan runList(const AttributeHeader& a) const { return runListBytes(bytes, a); }
};

enum class RecordKind {
    Record,    // starts with "FILE"
    Empty,     // all zeros: a slot never written
    NotRecord, // anything else ("BAAD", noise)
};

// What a unit of bytes is, from its first bytes and, for zeros, all of it.
RecordKind recordKindOf(ByteSpan bytes);

// Decodes a record from its raw bytes; nullopt unless they start with "FILE".
// Torn fixups and overrunning attributes are marked, not refused: a damaged
// record is still the best data there is.
std::optional<LoadedRecord> decodeRecord(std::vector<std::uint8_t> bytes, std::int64_t offset);

class MftRecordLoader {
public:
    MftRecordLoader(const VolumeView& volume, Warnings& warnings) : volume_(&volume), warnings_(&warnings) {}

    // Reads `size` bytes at `offset` and decodes them. An unreadable range is
    // counted as unreadable; a record that fails its checks as damaged. When
    // `expected` is set (an MFT slot, a pointer to a record), bytes that are not
    // a record and not zeros count as damaged too.
    std::optional<LoadedRecord> load(std::int64_t offset, std::uint32_t size, bool expected = true) const;

    // The same for a record in pieces (one the MFT's runs split), read in order
    // into `size` bytes; the record's offset is its first piece's.
    std::optional<LoadedRecord> load(const std::vector<RecordPiece>& pieces, std::uint32_t size,
                                     bool expected = true) const;

    // The same for bytes already read (batch reads of consecutive slots).
    std::optional<LoadedRecord> fromBytes(std::int64_t offset, ByteSpan bytes, bool expected = true) const;

    const VolumeView& volume() const { return *volume_; }
    Warnings& warnings() const { return *warnings_; }

private:
    const VolumeView* volume_;
    Warnings* warnings_;
};

}  // namespace tavrel::fs
