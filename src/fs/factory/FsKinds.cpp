#include "fs/factory/FsKinds.h"

#include <algorithm>
#include <iterator>

#include "fs/ext/ExtProbe.h"
#include "fs/ext/ext2Class.h"
#include "fs/fat/ExFatProbe.h"
#include "fs/fat/Fat16Class.h"
#include "fs/fat/Fat32Class.h"
#include "fs/fat/Fat64Class.h"
#include "fs/fat/FatProbe.h"
#include "fs/hfsplus/HFSP.h"
#include "fs/hfsplus/HfsProbe.h"
#include "fs/ntfs/NtfsProbe.h"
#include "fs/ntfs/ntfs.h"
#include "fs/xfs/XfsClass.h"
#include "fs/xfs/XfsProbe.h"
#include "util/Unicode.h"

namespace tavrel::fs {

namespace {

template <typename P>
std::unique_ptr<Parser> make(const VolumeView& volume, const ScanOptions& options) {
    return std::make_unique<P>(volume, options);
}

bool same(std::string_view a, std::string_view b) { return equalsIgnoreCase(std::string(a), std::string(b)); }

// Rows a name may choose: all but the known, not read.
bool offered(const FsKindRow& row) { return row.treatAsName != nullptr; }

using namespace std::string_view_literals;

}  // namespace

const std::vector<FsKindRow>& fsKinds() {
    // FAT12 volumes are read by the FAT16 parser (12-bit FAT entries); the
    // volume scans call exFAT "FAT64". MBR type 0x07 is NTFS's unless the
    // partition holds exFAT; Linux's 0x83 is ext's unless it holds a boot
    // record of another kind (removable disks often carry FAT or exFAT under it).
    static const std::vector<FsKindRow> rows = {
        {
            .kind = FsKind::Ext,
            .listName = "extX",
            .treatAsName = "EXTX",
            .treatAsFsName = "extX",
            .make = &make<ext2Class>,
            .probe = {
                .mbrTypes = {{.type = 0x83, .rule = MbrRule::Fallback, .status = "found ext2...",
                              .logicalStatus = "found extx..."}},
                .headerAt1024 = &ext::hasExtSuperblockMagic,
            },
        },
        {
            .kind = FsKind::ExFat,
            .listName = "FAT64",
            .treatAsName = "FAT64",
            .treatAsFsName = "fat64",
            .aliases = {"exFat"},
            .make = &make<fat::Fat64Class>,
            .advancedMode = true,
            .probe = {
                .mbrTypes = {{.type = 0x07, .rule = MbrRule::BootRecord, .status = "found FAT64..."},
                             {.type = 0x83, .rule = MbrRule::BootRecord, .status = "found FAT64..."}},
                .bootRecord = &fat::exFatBootRecord,
                .firstBytes = {0xEB},
                .foundStatus = "found FAT 64...",
                .findBackup = &fat::findExFatBackup,
                .backupPrimary = &fat::exFatBackupPrimary,
            },
        },
        {
            .kind = FsKind::Fat32,
            .listName = "FAT32",
            .treatAsName = "FAT32",
            .treatAsFsName = "fat32",
            .make = &make<fat::Fat32Class>,
            .advancedMode = true,
            .driveFormattedQuestion = true,
            .advancedHunts = "the FAT copies",
            .probe = {
                .mbrTypes = {{.type = 0x0B, .status = "found FAT 32..."},
                             {.type = 0x0C, .status = "found FAT 32..."},
                             {.type = 0x83, .rule = MbrRule::BootRecord, .status = "found FAT 32..."}},
                .bootRecord = &fat::fat32BootRecord,
                .firstBytes = {0xEB},
                .foundStatus = "found FAT 32...",
                .findBackup = &fat::findFat32Backup,
                .backupPrimary = &fat::fat32BackupPrimary,
            },
        },
        {
            .kind = FsKind::Fat16,
            .listName = "FAT16",
            .treatAsName = "FAT16",
            .treatAsFsName = "fat16",
            .aliases = {"FAT", "FAT12"},
            .make = &make<fat::Fat16Class>,
            .advancedMode = true,
            .driveFormattedQuestion = true,
            .advancedHunts = "the FAT copies",
            .probe = {
                .mbrTypes = {{.type = 0x01, .name = "FAT12"},
                             {.type = 0x04, .status = "found FAT 16..."},
                             {.type = 0x06, .status = "found FAT 16..."},
                             {.type = 0x0E, .status = "found FAT 16..."},
                             {.type = 0x83, .rule = MbrRule::BootRecord, .status = "found FAT 16..."}},
                .bootRecord = &fat::fat16BootRecord,
                .firstBytes = {0xEB},
                .foundStatus = "found FAT 16...",
                .unnamedStatus = "found unknown...",
            },
        },
        {
            .kind = FsKind::HfsPlus,
            .listName = "HFS+",
            .treatAsName = "HFS+",
            .treatAsFsName = "HFS+",
            .make = &make<HFSP>,
            .deepMode = true,
            .selectedStatus = "HFS+ partition selected....",
            .probe = {
                .mbrTypes = {{.type = 0xAF, .status = "found HFS+..."}},
                // Apple HFS+: 48465300-0000-11AA-AA11-00306543ECAC
                .gptTypes = {{0x00, 0x53, 0x46, 0x48, 0x00, 0x00, 0xAA, 0x11, 0xAA, 0x11, 0x00, 0x30, 0x65, 0x43,
                              0xEC, 0xAC}},
                .bootRecord = &hfsplus::hfsPlusBootRecord,
                .firstBytes = {'H'},
                .foundStatus = "found HFS+...",
                .statusOnlyWhenListed = true,
                .maxScanMiB = 20971519,  // 0x13FFFFF
                .headerAt1024 = &hfsplus::isHfsPlusHeader,
            },
        },
        {
            .kind = FsKind::Ntfs,
            .listName = "NTFS",
            .treatAsName = "NTFS",
            .treatAsFsName = "ntfs",
            .make = &make<ntfs>,
            .advancedMode = true,
            .deepMode = true,
            .capitalisedCountQuestion = true,
            .selectedStatus = "ntfs partition selected....",
            .trailingSectors = 1,
            .probe = {
                .mbrTypes = {{.type = 0x07, .rule = MbrRule::Fallback, .status = "found NTFS %d...",
                              .logicalStatus = "found NTFS..."},
                             {.type = 0x42, .status = "NTFS...", .primaryOnly = true},
                             {.type = 0x83, .rule = MbrRule::BootRecord, .status = "found NTFS..."}},
                .bootRecord = &ntfsBootRecord,
                .firstBytes = {0xEB},
                .foundStatus = "found NTFS %d...",
                .statusOnlyWhenListed = true,
                .sizeBlanks = 3,
                .backupPrimary = &ntfsBackupPrimary,
            },
        },
        {
            .kind = FsKind::Xfs,
            .listName = "XFS",
            .treatAsName = "XFS",
            .treatAsFsName = "XFS",
            .make = &make<XfsClass>,
            .deepMode = true,
            .probe = {
                .mbrTypes = {{.type = 0x83, .rule = MbrRule::BootRecord, .status = "found XFS..."}},
                .bootRecord = &xfs::xfsBootRecord,
                .firstBytes = {'X'},
                .foundStatus = "found XFS...",
                .findBackup = &xfs::findSuperblockCopy,
                .backupPrimary = &xfs::superblockCopyPrimary,
                .signature = {.phrase = "an XFS file system", .offset = 0, .magic = "XFSB"sv},
            },
        },
        {.kind = FsKind::Raw, .listName = "RAW", .treatAsName = "RAW", .treatAsFsName = "RAW"},
        // Known, not read: other file systems and containers that Linux volumes
        // carry under ext's partition types. Offsets and magic bytes as each
        // format's own tools write them.
        {.kind = FsKind::Btrfs, .listName = "btrfs",
         // superblock at 64 KiB, magic at its byte 64
         .probe = {.signature = {.phrase = "a btrfs file system", .offset = 0x10040, .magic = "_BHRfS_M"sv}}},
        {.kind = FsKind::Jfs, .listName = "JFS",
         .probe = {.signature = {.phrase = "a JFS file system", .offset = 0x8000, .magic = "JFS1"sv}}},
        {.kind = FsKind::ReiserFs, .listName = "ReiserFS",
         // "ReIsErFs", "ReIsEr2Fs", "ReIsEr3Fs"
         .probe = {.signature = {.phrase = "a ReiserFS file system", .offset = 0x10034, .magic = "ReIsEr"sv}}},
        {.kind = FsKind::F2fs, .listName = "F2FS",
         .probe = {.signature = {.phrase = "an F2FS file system", .offset = 0x400, .magic = "\x10\x20\xF5\xF2"sv}}},
        {.kind = FsKind::SquashFs, .listName = "SquashFS",
         .probe = {.signature = {.phrase = "a SquashFS file system", .offset = 0, .magic = "hsqs"sv}}},
        {.kind = FsKind::Luks, .listName = "LUKS",
         .probe = {.signature = {.phrase = "LUKS encryption", .offset = 0, .magic = "LUKS\xBA\xBE"sv}}},
        {.kind = FsKind::LvmPhysicalVolume, .listName = "LVM2",
         // label in the second sector
         .probe = {.signature = {.phrase = "an LVM physical volume", .offset = 0x200, .magic = "LABELONE"sv}}},
        {.kind = FsKind::LinuxSwap, .listName = "swap",
         // last bytes of the first 4 KiB page
         .probe = {.signature = {.phrase = "Linux swap space", .offset = 0xFF6, .magic = "SWAPSPACE2"sv}}},
    };
    return rows;
}

const std::vector<FsProbe>& fsProbes() {
    static const std::vector<FsProbe> probes = [] {
        std::vector<const FsKindRow*> byKind;
        for (const FsKindRow& row : fsKinds()) byKind.push_back(&row);
        std::stable_sort(byKind.begin(), byKind.end(),
                         [](const FsKindRow* a, const FsKindRow* b) { return a->kind < b->kind; });
        std::vector<FsProbe> out;
        for (const FsKindRow* row : byKind) {
            const FsProbe& p = row->probe;
            if (p.mbrTypes.empty() && p.gptTypes.empty() && !p.bootRecord && !p.headerAt1024 && !p.signature.phrase)
                continue;
            FsProbe probe = p;
            probe.listName = row->listName;
            probe.trailingSectors = row->trailingSectors;
            out.push_back(std::move(probe));
        }
        return out;
    }();
    return probes;
}

const FsKindRow* findKind(std::string_view fsName) {
    const std::string_view name = trim(fsName);
    if (name.empty()) return nullptr;
    for (const FsKindRow& row : fsKinds()) {
        if (!offered(row)) continue;
        if (same(name, row.listName) || same(name, row.treatAsName)) return &row;
        for (std::string_view alias : row.aliases)
            if (same(name, alias)) return &row;
    }
    return nullptr;
}

const FsKindRow* findKindByPrefix(std::string_view fsName) {
    if (const FsKindRow* row = findKind(fsName)) return row;
    const std::string_view name = trim(fsName);
    if (name.size() < 3) return nullptr;
    const std::string_view prefix = name.substr(0, 3);
    for (const FsKindRow& row : fsKinds()) {
        if (row.kind == FsKind::Raw || !offered(row)) continue;
        if (same(prefix, std::string_view(row.listName).substr(0, 3))) return &row;
        for (std::string_view alias : row.aliases)
            if (alias.size() >= 3 && same(prefix, alias.substr(0, 3))) return &row;
    }
    return nullptr;
}

std::vector<std::string> treatAsEntries() {
    std::vector<std::string> out;
    for (const FsKindRow& row : fsKinds())
        if (offered(row)) out.emplace_back(row.treatAsName);
    std::sort(out.begin(), out.end());
    return out;
}

std::string workingKindNames() {
    std::string out;
    auto add = [&](const FsKindRow& row) {
        if (!row.make || !offered(row)) return;
        if (!out.empty()) out += ", ";
        out += row.treatAsName;
    };
    // In the order a user reads them: NTFS first, then the FAT family; kinds
    // added later follow in the table's order.
    constexpr FsKind kFirst[] = {FsKind::Ntfs, FsKind::Fat16, FsKind::Fat32, FsKind::ExFat, FsKind::Ext, FsKind::HfsPlus};
    for (FsKind k : kFirst)
        for (const FsKindRow& row : fsKinds())
            if (row.kind == k) add(row);
    for (const FsKindRow& row : fsKinds())
        if (std::find(std::begin(kFirst), std::end(kFirst), row.kind) == std::end(kFirst)) add(row);
    return out;
}

bool isRawKind(std::string_view fsName) {
    const FsKindRow* row = findKind(fsName);
    return row && row->kind == FsKind::Raw;
}

}  // namespace tavrel::fs
