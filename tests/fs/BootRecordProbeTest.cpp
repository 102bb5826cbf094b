// The boot-record probes of the kind table, tried as the volume scans try
// them: each kind's own probe (fs/<kind>/*Probe.h) through its row.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "fs/factory/FsKinds.h"
#include "fs/fat/ExFatProbe.h"
#include "fs/fat/FatProbe.h"
#include "fs/hfsplus/HfsProbe.h"
#include "support/ByteWriter.h"

namespace tavrel {
namespace {

using test::ByteWriter;
using fs::fat::hasSoundFatBpb;
using fs::fat::isExfatBootSector;
using fs::hfsplus::isHfsPlusHeader;

// What the first probe that knows a sector names it.
enum class BootKind { None, Ntfs, Fat16, Fat32, FatUnknown, ExFat, HfsPlus };

struct Found {
    BootKind kind = BootKind::None;
    std::int64_t sectors = 0;
    std::int64_t sectorsBefore = 0;
};

const char* fsNameOf(BootKind kind) {
    switch (kind) {
        case BootKind::Ntfs: return "NTFS";
        case BootKind::Fat16: return "FAT16";
        case BootKind::Fat32: return "FAT32";
        case BootKind::ExFat: return "FAT64";
        case BootKind::HfsPlus: return "HFS+";
        case BootKind::None:
        case BootKind::FatUnknown: break;
    }
    return "";
}

Found testBootSector(ByteSpan sector, BootTest test) {
    for (const FsProbe& p : fs::fsProbes()) {
        const BootMatch m = p.bootRecord ? p.bootRecord(sector, test) : BootMatch{};
        if (!m.found()) continue;
        Found f{BootKind::FatUnknown, m.sectors, m.sectorsBefore};
        if (m.result == BootMatch::Result::Named)
            for (BootKind k : {BootKind::Ntfs, BootKind::Fat16, BootKind::Fat32, BootKind::ExFat, BootKind::HfsPlus})
                if (std::string(fsNameOf(k)) == p.listName) f.kind = k;
        return f;
    }
    return {};
}

using Sector = std::array<std::uint8_t, 512>;

Sector sectorOf(std::initializer_list<std::uint8_t> head) {
    Sector s{};
    std::copy(head.begin(), head.end(), s.begin());
    return s;
}

Sector ntfs(std::uint64_t total, const char* oem = "NTFS    ") {
    Sector s = sectorOf({0xEB, 0x52, 0x90});
    ByteWriter(s).ascii(3, oem).le16(0x0B, 512).le64(0x28, total);
    return s;
}

// A FAT16 boot sector as mkfs.fat writes it: OEM "mkfs.fat", 32 sectors per FAT.
Sector mkfsFat16(std::uint16_t total16, std::uint32_t total32 = 0) {
    Sector s = sectorOf({0xEB, 0x3C, 0x90});
    ByteWriter(s)
        .ascii(3, "mkfs.fat")
        .le16(0x0B, 512)
        .u8(0x0D, 4)
        .le16(0x0E, 4)
        .u8(0x10, 2)
        .le16(0x11, 512)
        .le16(0x13, total16)
        .u8(0x15, 0xF8)
        .le16(0x16, 32)
        .le32(0x20, total32)
        .bytes(510, {0x55, 0xAA});
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
    EXPECT_TRUE(isHfsPlusHeader(sectorOf({0x48, 0x58, 0x00, 0x05})));  // HFSX is read as HFS+
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
    ByteWriter(s).le16(0x0B, 4096);
    EXPECT_EQ(testBootSector(s, BootTest::SectorScan).kind, BootKind::None);
}

TEST(BootSector, WindowsFatBySectorsPerFat) {
    Sector s = sectorOf({0xEB, 0x3C, 0x90, 'M', 'S', 'D', 'O', 'S', '5', '.', '0'});
    ByteWriter(s).le16(0x16, 256).le16(0x13, 40960);
    auto m = testBootSector(s, BootTest::PartitionTable);
    EXPECT_EQ(m.kind, BootKind::Fat16);
    EXPECT_EQ(m.sectors, 40960);
    ByteWriter(s).le16(0x16, 128);  // 128 sectors per FAT: FAT16 for the sector scan only
    EXPECT_EQ(testBootSector(s, BootTest::PartitionTable).kind, BootKind::FatUnknown);
    EXPECT_EQ(testBootSector(s, BootTest::SectorScan).kind, BootKind::Fat16);
    ByteWriter(s).le16(0x16, 0).le32(0x20, 69632);
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
                         +[](Sector& x) { ByteWriter(x).le16(0x0B, 500); }, +[](Sector& x) { x[511] = 0; },
                         +[](Sector& x) { x[0x15] = 0x12; }, +[](Sector& x) { ByteWriter(x).le16(0x11, 0); }}) {
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
    ByteWriter(s).le64(0x48, 16384);
    const auto m = testBootSector(s, BootTest::PartitionTable);
    EXPECT_EQ(m.kind, BootKind::ExFat);
    EXPECT_EQ(m.sectors, 16384);
    EXPECT_STREQ(fsNameOf(m.kind), "FAT64");
}

TEST(BootSector, HfsPlusOnlyInTheSectorScan) {
    Sector s = sectorOf({0x48, 0x2B, 0x00, 0x04});
    ByteWriter(s).be32(0x28, 4096).be32(0x2C, 1024);  // block size, blocks
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
