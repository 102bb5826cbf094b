// The kind table's rows of kinds known, not read: they name what a volume
// holds, and nothing that chooses a kind by name offers them.
#include <gtest/gtest.h>

#include "fs/factory/FsKinds.h"

namespace tavrel {
namespace {

TEST(KindTable, KnownNotReadKindsAreNeverChosenByName) {
    int known = 0;
    for (const fs::FsKindRow& row : fs::fsKinds()) {
        if (row.treatAsName) continue;
        ++known;
        EXPECT_EQ(row.make, nullptr) << row.listName;
        EXPECT_NE(row.probe.signature.phrase, nullptr) << row.listName;
        EXPECT_EQ(fs::findKind(row.listName), nullptr) << row.listName;
        EXPECT_EQ(fs::findKindByPrefix(row.listName), nullptr) << row.listName;
    }
    EXPECT_EQ(known, 8);
    EXPECT_EQ(fs::treatAsEntries(),
              (std::vector<std::string>{"EXTX", "FAT16", "FAT32", "FAT64", "HFS+", "NTFS", "RAW", "XFS"}));
    EXPECT_EQ(fs::workingKindNames(), "NTFS, FAT16, FAT32, FAT64, EXTX, HFS+, XFS");
}

}  // namespace
}  // namespace tavrel
