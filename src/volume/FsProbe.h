// What the volume scans know of one file-system kind, and nothing more: which
// partition-table types name it, how its boot record is recognised, where its
// backup boot record lies. volume/ names no file system itself: the kind table
// (fs/factory/FsKinds.cpp) hands Partition one FsProbe per kind, built from the
// kind's row, whose functions live in the kind's own folder.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "image/VolumeView.h"
#include "image/readWriteInterface.h"
#include "util/Bytes.h"

namespace tavrel {

// The two strictness levels of a boot-record probe:
//  - PartitionTable: the first sector of a partition a table lists;
//  - SectorScan: any sector of the disk (the scan for lost volumes), where a
//    chance match costs a false volume, so a probe may ask for more.
enum class BootTest { PartitionTable, SectorScan };

// What a boot-record probe found in one sector.
struct BootMatch {
    enum class Result {
        None,     // not a boot record of this kind
        Named,    // a boot record of this kind
        Unnamed,  // a record of the kind's family that names no kind: shown, never listed
    };
    Result result = Result::None;
    // The volume's size in sectors as the record claims it; <= 0 when it claims none.
    std::int64_t sectors = 0;
    // The volume starts this many sectors before the tested sector.
    std::int64_t sectorsBefore = 0;

    bool found() const { return result != Result::None; }
};

using BootRecordProbe = BootMatch (*)(ByteSpan sector, BootTest test);

// A backup copy of a boot record, kept near the start of its volume.
struct BackupRecord {
    std::int64_t offset = 0;           // volume byte offset of the copy
    std::vector<std::uint8_t> sector = {};  // the copy's first 512 bytes
};

// The backup boot record of a volume, if it keeps a sound one (a few small reads).
using BackupRecordFinder = std::optional<BackupRecord> (*)(const VolumeView& volume);

// The first sector of the volume whose backup boot record `sector` (at disk
// sector `here`, found claiming `sectors`) is, if it is one; reads of the disk
// tell the copies apart.
using BackupPrimaryFinder = std::optional<std::int64_t> (*)(const readWriteInterface& disk, ByteSpan sector,
                                                             std::int64_t here, std::int64_t sectors);

// True when `sector` (the 512 bytes at volume byte 1024) holds the kind's volume header.
using HeaderProbe = bool (*)(ByteSpan sector);

// How an MBR partition type names a kind.
enum class MbrRule {
    Outright,    // the type names the kind whatever the partition holds
    Fallback,    // the kind, unless the boot record of another claimant of the type is found
    BootRecord,  // the kind when the partition's first sector, or (when no kind knows
                 // that sector) its backup boot record, is this kind's
};

struct MbrClaim {
    std::uint8_t type = 0;
    MbrRule rule = MbrRule::Outright;
    const char* status = nullptr;         // the scan's status text; "%d" is the kind's count; nullptr: none
    const char* logicalStatus = nullptr;  // inside the extended chain, when it differs from status
    bool primaryOnly = false;             // not recognised inside the extended chain
    const char* name = nullptr;           // the record's name, when not the kind's list name
};

using Guid = std::array<std::uint8_t, 16>;  // as a GPT entry stores it

// A fixed signature at a fixed volume offset that tells a volume of the kind.
struct Signature {
    const char* phrase = nullptr;  // what the volume holds: "a btrfs file system"
    std::int64_t offset = 0;       // volume byte offset of the magic
    std::string_view magic = {};
};

struct FsProbe {
    const char* listName = nullptr;  // the fsName of the kind's VolumeRecords
    std::vector<MbrClaim> mbrTypes = {};
    // GPT type GUIDs naming the kind when the entry's first sector is no boot record.
    std::vector<Guid> gptTypes = {};
    BootRecordProbe bootRecord = nullptr;
    // Every first byte a boot record of the kind can have (the sector scan passes
    // other sectors over unread by the probe); empty: any.
    std::vector<std::uint8_t> firstBytes = {};
    const char* foundStatus = nullptr;    // status of a record the GPT or sector scan finds; "%d" counted
    const char* unnamedStatus = nullptr;  // status of an Unnamed match
    bool statusOnlyWhenListed = false;    // no status for a record claiming no whole MiB
    int sizeBlanks = 2;                   // blanks between the MiB count and "MB" (GPT and sector scan)
    std::int64_t trailingSectors = 0;     // sectors after the claimed ones that still belong to the volume
    std::int64_t maxScanMiB = 0;          // the sector scan lists no larger volume of the kind; 0: no limit
    HeaderProbe headerAt1024 = nullptr;   // GPT entries whose first sector no kind knows
    BackupRecordFinder findBackup = nullptr;
    BackupPrimaryFinder backupPrimary = nullptr;
    Signature signature = {};  // kinds known by a signature (a refusal can name them)
};

}  // namespace tavrel
