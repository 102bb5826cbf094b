// A Linux-type (0x83) partition that holds no ext volume: the volume list
// still names it "extX", and opening it is refused with a text that names what
// it holds when its signature is known. The signatures are written where
// their own tools put them (mkfs.btrfs, mkfs.xfs and the others are not needed).
#include <gtest/gtest.h>

#include "support/ByteWriter.h"
#include "support/TestSupport.h"

using namespace tavrel::test;

namespace {

constexpr std::size_t kStart = 2048;    // first sector of the partition
constexpr std::size_t kSectors = 2048;  // 1 MiB volume

struct ForeignCase {
    const char* name;
    std::size_t offset;  // in the volume
    std::string_view magic;
    const char* text;    // what the refusal says
};

using namespace std::string_view_literals;

const ForeignCase kCases[] = {
    {"btrfs", 0x10040, "_BHRfS_M"sv, "This volume holds a btrfs file system, not ext2, ext3 or ext4"},
    {"xfs", 0, "XFSB"sv, "This volume holds an XFS file system, not ext2, ext3 or ext4"},
    {"luks", 0, "LUKS\xBA\xBE"sv, "This volume holds LUKS encryption, not ext2, ext3 or ext4"},
    {"swap", 0xFF6, "SWAPSPACE2"sv, "This volume holds Linux swap space, not ext2, ext3 or ext4"},
    {"nothing", 0, ""sv, "No ext superblock was found on this volume."},
};

class ExtForeign : public ::testing::TestWithParam<ForeignCase> {};

TEST_P(ExtForeign, IsListedAsExtAndRefusedByName) {
    const ForeignCase& c = GetParam();
    ByteWriter disk((kStart + kSectors) * 512);
    disk.u8(0x1BE + 4, 0x83).le32(0x1BE + 8, kStart).le32(0x1BE + 12, kSectors).le16(510, 0xAA55);
    disk.ascii(kStart * 512 + c.offset, c.magic);
    TempDir dir;
    const auto image = dir / "disk.raw";
    writeFileBytes(image, disk.vector());
    const std::string cli = shellQuote(cliPath()) + " ";

    const auto volumes = runCommand(cli + "volumes " + shellQuote(image.string()));
    ASSERT_EQ(volumes.exitCode, 0) << volumes.err;
    EXPECT_NE(volumes.out.find("extX"), std::string::npos) << volumes.out;

    const auto ls = runCommand(cli + "ls " + shellQuote(image.string()) + " --volume 0");
    EXPECT_EQ(ls.exitCode, 2);
    EXPECT_TRUE(ls.out.empty()) << ls.out;
    EXPECT_NE(ls.err.find(c.text), std::string::npos) << ls.err;
}

INSTANTIATE_TEST_SUITE_P(Signatures, ExtForeign, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
