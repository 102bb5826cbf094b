// Records the NTFS parser keeps per MFT slot, per data run and per $DATA
// attribute.
#pragma once

#include <cstdint>
#include <string>

namespace tavrel::fs {

inline constexpr std::uint32_t kAttrStandardInformation = 0x10;
inline constexpr std::uint32_t kAttrAttributeList = 0x20;
inline constexpr std::uint32_t kAttrFileName = 0x30;
inline constexpr std::uint32_t kAttrData = 0x80;
inline constexpr std::uint32_t kAttrEnd = 0xFFFFFFFF;

// One MFT record slot (or the synthetic "ORPHAN_ENTRY" folder). The tree links
// live beside the table, in an EntryTable.
struct NtfsEntry {
    std::uint32_t tag = 0;             // first four bytes of the record; "FILE" for a real one
    std::int64_t recordOffset = -1;    // byte offset of the record in the volume (-1: none)
    std::uint64_t recordNumber = 0;    // the slot's record number (Deep mode: the one it carries, or 0)
    bool numbered = false;             // Deep mode: the header carried recordNumber (NTFS 3.1 and later)
    std::string name;                  // UTF-8; empty when no $FILE_NAME was taken
    bool hasName = false;
    std::int64_t parentRecord = 0;     // from the $FILE_NAME that gave the name (48 bits, sign-extended)
    std::uint16_t parentSequence = 0;  // sequence number the parent reference expects
    std::uint16_t sequence = 0;        // the record's own sequence number
    std::uint64_t baseRecord = 0;      // nonzero for an extension record: its base record
    std::uint64_t allocatedSize = 0;   // from the $FILE_NAME that gave the name
    std::uint16_t recordFlags = 0;     // bit 0 in use (clear = deleted)
    char kind = 0;                     // 'D' for a folder
    bool orphan = false;               // parent unusable: shown under "ORPHAN_ENTRY"

    // Gathered while the record was parsed, so that listing never reads again.
    char dataResidency = 0;            // of the unnamed $DATA's first extent: 'R', 'N' or 0 when not seen
    bool hasAttributeList = false;
    std::uint64_t dataSize = 0;        // real size of the unnamed $DATA (resident: value length)
    bool hasTimes = false;             // a $STANDARD_INFORMATION was read
    std::uint64_t created = 0;         // its FILETIMEs
    std::uint64_t modified = 0;
    std::uint64_t accessed = 0;
    std::uint32_t nameAttributes = 0;  // file attributes of the record's last $FILE_NAME
    // A deleted record whose unnamed $DATA is one run: its clusters, so that
    // the file's condition needs no second read (dataLcn < 0: not so).
    std::int64_t dataLcn = -1;
    std::uint64_t dataClusters = 0;
};

inline constexpr std::uint32_t kFileTag = 0x454C4946;  // "FILE" read little-endian

// One data run: `length` clusters from `lcn`, or a hole when `sparse` is set.
// Cluster numbers and lengths are 64-bit.
struct MftRun {
    std::int64_t lcn = 0;
    std::uint64_t length = 0;
    bool sparse = false;
};

// `length` bytes of a record at volume byte `offset`: a record that two runs of
// the MFT share is read in such pieces.
struct RecordPiece {
    std::int64_t offset = 0;
    std::uint32_t length = 0;
};

// Summary of a record's unnamed $DATA attribute.
struct DataInfo {
    bool present = false;
    char residency = 0;               // 'R' resident, 'N' non-resident
    std::uint32_t dataOffset = 0;     // resident: value offset in the record; else run list offset
    std::uint32_t dataLength = 0;     // resident: value length; else run list bytes
    std::uint16_t compressionExponent = 0;
    std::uint64_t firstVcn = 0;
    std::uint64_t lastVcn = 0;
    std::uint16_t flags = 0;          // attribute flags
    const char* kindText = nullptr;   // "Compressed", "Encrypted", "Normal" or none
    std::uint64_t allocatedSize = 0;
    std::uint64_t realSize = 0;
    std::uint64_t initializedSize = 0;
};

}  // namespace tavrel::fs
