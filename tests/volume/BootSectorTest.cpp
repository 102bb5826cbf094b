#include "volume/BootSector.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace tavrel {
namespace {

using Sector = std::array<std::uint8_t, 512>;

Sector sectorOf(std::initializer_list<std::uint8_t> head) {
    Sector s{};
    std::copy(head.begin(), head.end(), s.begin());
    return s;
}

void put(Sector& s, std::size_t at, std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) s[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

Sector ntfs(std::uint64_t total, const char* oem = "NTFS    ") {
    Sector s = sectorOf({0xEB, 0x52, 0x90});
    std::memcpy(&s[3], oem, 8);
    put(s, 0x0B, 512, 2);
    put(s, 0x28, total, 8);
    return s;
}

// A FAT16 boot sector as mkfs.fat writes it: OEM "mkfs.fat", 32 sectors per FAT.
Sector mkfsFat16(std::uint16_t total16, std::uint32_t total32 = 0) {
    Sector s = sectorOf({0xEB, 0x3C, 0x90});
    std::memcpy(&s[3], "mkfs.fat", 8);
    put(s, 0x0B, 512, 2);
    s[0x0D] = 4;
    put(s, 0x0E, 4, 2);
    s[0x10] = 2;
    put(s, 0x11, 512, 2);
    put(s, 0x13, total16, 2);
    s[0x15] = 0xF8;
    put(s, 0x16, 32, 2);
    put(s, 0x20, total32, 4);
    s[510] = 0x55;
    s[511] = 0xAA;
    return s;
}

TEST(BootSector, ExfatNeedsJumpAndName) {
    Sector s = sectorOf({0xEB, 0x76, 0x90, 'E', 'X', 'F', 'A', 'T'});
    EXPECT_TRUE(isExfatBootSector(s));
    s[1] = 0x3C;
    EXPECT_TRUE(isExfatBootSector(s));
    s[1] = 0x52;
    EXPECT_FALSE(isExfatBootSector(s));
    s[1] = 0x76;
    s[0] = 0xE9;
    EXPECT_FALSE(isExfatBootSector(s));
    EXPECT_FALSE(isExfatBootSector(ByteSpan(s.data(), 4)));  // too short for the name
}

TEST(BootSector, HfsPlusSignature) {
    EXPECT_TRUE(isHfsPlusHeader(sectorOf({0x48, 0x2B, 0x00, 0x04})));
    EXPECT_FALSE(isHfsPlusHeader(sectorOf({0x48, 0x2B, 0x01})));  // byte 2 must be zero
    EXPECT_FALSE(isHfsPlusHeader(sectorOf({0x48, 0x58, 0x00})));  // HFSX is not HFS+
}

TEST(BootSector, NtfsStrictnessLevels) {
    Sector s = ntfs(204799, "MSWIN4.1");
    // The partition-table test looks at the jump and the sector size only.
    EXPECT_EQ(testBootSector(s, BootTest::PartitionTable).kind, BootKind::Ntfs);
    EXPECT_EQ(testBootSector(s, BootTest::SectorScan).kind, BootKind::None);
    s = ntfs(204799);
    const auto m = testBootSector(s, BootTest::SectorScan);
    EXPECT_EQ(m.kind, BootKind::Ntfs);
    EXPECT_EQ(m.sectors, 204799);
    put(s, 0x0B, 4096, 2);
    EXPECT_EQ(testBootSector(s, BootTest::SectorScan).kind, BootKind::None);
}

TEST(BootSector, WindowsFatBySectorsPerFat) {
    Sector s = sectorOf({0xEB, 0x3C, 0x90, 'M', 'S', 'D', 'O', 'S', '5', '.', '0'});
    put(s, 0x16, 256, 2);
    put(s, 0x13, 40960, 2);
    auto m = testBootSector(s, BootTest::PartitionTable);
    EXPECT_EQ(m.kind, BootKind::Fat16);
    EXPECT_EQ(m.sectors, 40960);
    put(s, 0x16, 128, 2);  // 128 sectors per FAT: FAT16 for the sector scan only
    EXPECT_EQ(testBootSector(s, BootTest::PartitionTable).kind, BootKind::FatUnknown);
    EXPECT_EQ(testBootSector(s, BootTest::SectorScan).kind, BootKind::Fat16);
    put(s, 0x16, 0, 2);
    put(s, 0x20, 69632, 4);
    m = testBootSector(s, BootTest::SectorScan);
    EXPECT_EQ(m.kind, BootKind::Fat32);
    EXPECT_EQ(m.sectors, 69632);
    EXPECT_STREQ(fsNameOf(m.kind), "FAT32");
}

TEST(BootSector, FatOfOtherToolsNeedsSoundBpb) {
    Sector s = mkfsFat16(40960);
    EXPECT_TRUE(hasSoundFatBpb(s));
    auto m = testBootSector(s, BootTest::PartitionTable);
    EXPECT_EQ(m.kind, BootKind::Fat16);
    EXPECT_EQ(m.sectors, 40960);  // the 16-bit field read unsigned (>= 32768)
    // One broken field at a time makes it no FAT boot sector at all.
    for (auto breakIt : {+[](Sector& x) { x[0x10] = 3; }, +[](Sector& x) { x[0x0D] = 3; },
                         +[](Sector& x) { put(x, 0x0B, 500, 2); }, +[](Sector& x) { x[511] = 0; },
                         +[](Sector& x) { x[0x15] = 0x12; }, +[](Sector& x) { put(x, 0x11, 0, 2); }}) {
        Sector broken = s;
        breakIt(broken);
        EXPECT_FALSE(hasSoundFatBpb(broken));
        EXPECT_EQ(testBootSector(broken, BootTest::SectorScan).kind, BootKind::None);
    }
}

TEST(BootSector, Fat16SizeFallsBackToThe32BitField) {
    const auto m = testBootSector(mkfsFat16(0, 81920), BootTest::SectorScan);
    EXPECT_EQ(m.kind, BootKind::Fat16);
    EXPECT_EQ(m.sectors, 81920);
}

TEST(BootSector, ExfatLength) {
    Sector s = sectorOf({0xEB, 0x76, 0x90, 'E', 'X', 'F', 'A', 'T', ' ', ' ', ' '});
    put(s, 0x48, 16384, 8);
    const auto m = testBootSector(s, BootTest::PartitionTable);
    EXPECT_EQ(m.kind, BootKind::ExFat);
    EXPECT_EQ(m.sectors, 16384);
    EXPECT_STREQ(fsNameOf(m.kind), "FAT64");
}

TEST(BootSector, HfsPlusOnlyInTheSectorScan) {
    Sector s = sectorOf({0x48, 0x2B, 0x00, 0x04});
    s[0x28 + 2] = 0x10;                  // block size 4096 (big-endian)
    s[0x2C + 2] = 0x04;                  // 1024 blocks
    auto m = testBootSector(s, BootTest::SectorScan);
    EXPECT_EQ(m.kind, BootKind::HfsPlus);
    EXPECT_EQ(m.sectors, 8192);
    EXPECT_EQ(m.sectorsBefore, 2);
    EXPECT_EQ(testBootSector(s, BootTest::PartitionTable).kind, BootKind::None);
}

TEST(BootSector, HugeHfsPlusSizeDoesNotOverflow) {
    Sector s = sectorOf({0x48, 0x2B, 0x00, 0x04});
    std::fill(s.begin() + 0x28, s.begin() + 0x30, std::uint8_t{0xFF});
    const auto m = testBootSector(s, BootTest::SectorScan);
    EXPECT_EQ(m.kind, BootKind::HfsPlus);
    EXPECT_GT(m.sectors, 0);
}

TEST(BootSector, ZerosAndShortInputAreNothing) {
    Sector zeros{};
    EXPECT_EQ(testBootSector(zeros, BootTest::SectorScan).kind, BootKind::None);
    EXPECT_EQ(testBootSector(ByteSpan(zeros.data(), 100), BootTest::SectorScan).kind, BootKind::None);
    EXPECT_STREQ(fsNameOf(BootKind::FatUnknown), "");
}

}  // namespace
}  // namespace tavrel
