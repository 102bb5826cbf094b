// The table of file-system kinds: one row per kind, holding everything the
// pages, the CLI and the parser factory need to know about it. Nothing outside
// this table compares file-system names; a new parser joins with one row.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fs/Parser.h"
#include "volume/FsProbe.h"

namespace tavrel::fs {

// The volume scans try the kinds' probes in this order (it matters only where
// two kinds could claim the same bytes: FAT32's backup boot record before
// exFAT's, an HFS+ volume header before an ext superblock), and the ext parser
// looks for the signatures of the known, not read kinds in this order.
enum class FsKind {
    Ntfs, Fat16, Fat32, ExFat, HfsPlus, Ext,
    // Known, not read: found by a signature, so that a refusal can say what a volume holds.
    Btrfs, Xfs, Jfs, ReiserFs, F2fs, SquashFs, Luks, LvmPhysicalVolume, LinuxSwap,
    Raw,
};

using ParserMake = std::unique_ptr<Parser> (*)(const VolumeView&, const ScanOptions&);

// One kind; rows are written with designated initialisers, fields left out
// take the defaults below. A row without a treat-as name is known, not read:
// it only names what a volume holds (probe.signature), and no name lookup,
// treat-as list or --treat-as value offers it.
struct FsKindRow {
    FsKind kind = FsKind::Raw;
    const char* listName = nullptr;     // as the volume scans name it: "NTFS", "FAT16", "FAT64", "extX", ...
    const char* treatAsName = nullptr;  // the treat-as list's entry (and --treat-as value): "NTFS", "EXTX", ...
    const char* treatAsFsName = nullptr;  // the fsName a treat-as choice gives the volume: "ntfs", "extX", ...
    std::vector<std::string_view> aliases = {};  // further whole names that mean this kind
    ParserMake make = nullptr;          // nullptr while the kind has no parser
    bool advancedMode = false;          // the recovery mode page offers Advanced
    bool deepMode = false;              // ... and Deep
    bool driveFormattedQuestion = false;    // Advanced mode asks "Is Drive Formated..?"
    // What Advanced mode hunts for ("the FAT copies"), told after a Standard scan
    // that found no boot record of the kind; nullptr when nothing is told.
    const char* advancedHunts = nullptr;
    bool capitalisedCountQuestion = false;  // "Number of files ..." rather than "number of files ..."
    const char* selectedStatus = nullptr;   // the scan page's status line on open, or nullptr
    // Sectors after the counted ones that still belong to the volume (NTFS keeps
    // its backup boot sector there), for telling nested finds apart.
    int trailingSectors = 0;
    // How the volume scans recognise the kind: its MBR types and GPT GUIDs, its
    // boot-record probe, its backup boot record, its status texts. listName
    // and trailingSectors are taken from the row.
    FsProbe probe = {};
};

// Every kind, in the treat-as list's order.
const std::vector<FsKindRow>& fsKinds();

// The probes of every kind that has one, in the order of FsKind, each with its
// row's listName and trailingSectors: what Partition and the parsers are given.
const std::vector<FsProbe>& fsProbes();

// The row whose name, treat-as name or alias equals `fsName` without regard to
// case (blanks around it ignored); nullptr for any other name.
const FsKindRow* findKind(std::string_view fsName);

// The row for the recovery mode page: by whole name, else by the first three
// characters ("eXF..." is exFAT, "ext..." ext), as the page has always decided.
const FsKindRow* findKindByPrefix(std::string_view fsName);

// The treat-as list's entries, sorted.
std::vector<std::string> treatAsEntries();

// "NTFS, FAT16, FAT32, FAT64": the kinds that have a parser, for refusals.
std::string workingKindNames();

// True when `fsName` is the raw-recovery choice.
bool isRawKind(std::string_view fsName);

}  // namespace tavrel::fs
