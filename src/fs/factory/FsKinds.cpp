#include "fs/factory/FsKinds.h"

#include <algorithm>

#include "fs/ext/ext2Class.h"
#include "fs/fat/Fat16Class.h"
#include "fs/fat/Fat32Class.h"
#include "fs/fat/Fat64Class.h"
#include "fs/hfsplus/HFSP.h"
#include "fs/ntfs/ntfs.h"
#include "fs/xfs/XfsClass.h"
#include "util/Unicode.h"

namespace tavrel::fs {

namespace {

template <typename P>
std::unique_ptr<Parser> make(const VolumeView& volume, const ScanOptions& options) {
    return std::make_unique<P>(volume, options);
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool same(std::string_view a, std::string_view b) { return equalsIgnoreCase(std::string(a), std::string(b)); }

}  // namespace

const std::vector<FsKindRow>& fsKinds() {
    // FAT12 volumes are read by the FAT16 parser (12-bit FAT entries); the
    // volume scans call exFAT "FAT64".
    static const std::vector<FsKindRow> rows = {
        {FsKind::Ext, "extX", "EXTX", "extX", {}, &make<ext2Class>, false, false, false, false, nullptr, 0},
        {FsKind::ExFat, "FAT64", "FAT64", "fat64", {"exFat"}, &make<fat::Fat64Class>, true, false, false, false,
         nullptr, 0},
        {FsKind::Fat32, "FAT32", "FAT32", "fat32", {}, &make<fat::Fat32Class>, true, false, true, false, nullptr, 0},
        {FsKind::Fat16, "FAT16", "FAT16", "fat16", {"FAT", "FAT12"}, &make<fat::Fat16Class>, true, false, true, false,
         nullptr, 0},
        {FsKind::HfsPlus, "HFS+", "HFS+", "HFS+", {}, &make<HFSP>, false, true, false, false, "HFS+ partition selected....",
         0},
        {FsKind::Ntfs, "NTFS", "NTFS", "ntfs", {}, &make<ntfs>, true, true, false, true, "ntfs partition selected....",
         1},
        {FsKind::Xfs, "XFS", "XFS", "XFS", {}, &make<XfsClass>, false, true, false, false, nullptr, 0},
        {FsKind::Raw, "RAW", "RAW", "RAW", {}, nullptr, false, false, false, false, nullptr, 0},
    };
    return rows;
}

const FsKindRow* findKind(std::string_view fsName) {
    const std::string_view name = trimmed(fsName);
    if (name.empty()) return nullptr;
    for (const FsKindRow& row : fsKinds()) {
        if (same(name, row.listName) || same(name, row.treatAsName)) return &row;
        for (std::string_view alias : row.aliases)
            if (same(name, alias)) return &row;
    }
    return nullptr;
}

const FsKindRow* findKindByPrefix(std::string_view fsName) {
    if (const FsKindRow* row = findKind(fsName)) return row;
    const std::string_view name = trimmed(fsName);
    if (name.size() < 3) return nullptr;
    const std::string_view prefix = name.substr(0, 3);
    for (const FsKindRow& row : fsKinds()) {
        if (row.kind == FsKind::Raw) continue;
        if (same(prefix, std::string_view(row.listName).substr(0, 3))) return &row;
        for (std::string_view alias : row.aliases)
            if (alias.size() >= 3 && same(prefix, alias.substr(0, 3))) return &row;
    }
    return nullptr;
}

std::vector<std::string> treatAsEntries() {
    std::vector<std::string> out;
    for (const FsKindRow& row : fsKinds()) out.emplace_back(row.treatAsName);
    std::sort(out.begin(), out.end());
    return out;
}

std::string workingKindNames() {
    std::string out;
    // In the order a user reads them: NTFS first, then the FAT family.
    for (FsKind k : {FsKind::Ntfs, FsKind::Fat16, FsKind::Fat32, FsKind::ExFat, FsKind::Ext, FsKind::HfsPlus, FsKind::Xfs}) {
        for (const FsKindRow& row : fsKinds()) {
            if (row.kind != k || !row.make) continue;
            if (!out.empty()) out += ", ";
            out += row.treatAsName;
        }
    }
    return out;
}

bool isRawKind(std::string_view fsName) {
    const FsKindRow* row = findKind(fsName);
    return row && row->kind == FsKind::Raw;
}

}  // namespace tavrel::fs
