// VDI and VMDK images through the CLI: every layout qemu-img makes of an NTFS
// fixture lists the same volumes and files and recovers the same bytes as the
// VHD it came from, and `info` reports its format, version and geometry.
#include <gtest/gtest.h>

#include <set>

#include "cli/CliHelpers.h"
#include "support/ConvertedImages.h"

using namespace tavrel::test;
namespace fsys = std::filesystem;

TEST(VdiVmdkImage, EveryLayoutReadsLikeTheVhd) {
    const auto vhd = unpackedFixture("ntfs/ntfs-mbr.vhd.xz");
    const ConvertedImages* made = convertedImages("ntfs/ntfs-mbr.vhd.xz");
    if (!made) GTEST_SKIP() << "qemu-img not available";
    const auto volumes = cli("volumes --json " + q(vhd)).out;
    const auto listing = cli("ls " + q(vhd) + " --volume 0").out;
    TempDir vhdOut;
    const auto r = cli("recover " + q(vhd) + " --volume 0 --out " + q(vhdOut.path()));
    ASSERT_TRUE(r.exitCode == 0 || r.exitCode == 1) << r.err;
    const auto vhdFiles = hashesBelow(vhdOut.path());
    ASSERT_FALSE(vhdFiles.empty());
    const auto diskBytes = static_cast<std::int64_t>(fsys::file_size(made->raw));

    for (const ConvertedImage& image : made->images) {
        SCOPED_TRACE(image.layout);
        const auto info = cli("info --json " + q(image.path));
        ASSERT_EQ(info.exitCode, 0) << info.err;
        const auto j = nlohmann::json::parse(info.out);
        EXPECT_EQ(j.at("format"), image.format);
        EXPECT_EQ(j.at("disk_size").get<std::int64_t>(), diskBytes);
        EXPECT_EQ(j.at("size_text"), std::to_string(diskBytes / 1048576) + " MB");
        // VDI: the header's version 1.1; VMDK: the descriptor's version and geometry.
        EXPECT_EQ(j.at("version"), image.format == "vdi" ? 65537 : 1);
        EXPECT_TRUE(j.contains("cylinders"));
        EXPECT_EQ(j.at("heads"), image.format == "vmdk" ? 16 : 0);  // qemu-img writes no VDI geometry

        EXPECT_EQ(cli("volumes --json " + q(image.path)).out, volumes);
        EXPECT_EQ(cli("ls " + q(image.path) + " --volume 0").out, listing);
        // Recovery (slow: it writes every file) on one image of each reader path.
        static const std::set<std::string> kRecovered = {"dynamic.vdi", "monolithicSparse", "twoGbMaxExtentFlat",
                                                         "streamOptimized"};
        if (!kRecovered.count(image.layout)) continue;
        TempDir out;
        const auto rec = cli("recover " + q(image.path) + " --volume 0 --out " + q(out.path()));
        EXPECT_TRUE(rec.exitCode == 0 || rec.exitCode == 1) << rec.err;
        EXPECT_EQ(hashesBelow(out.path()), vhdFiles);
    }
}

TEST(VdiVmdkImage, DamagedImagesAreRefusedWithTheirText) {
    TempDir dir;
    // The VDI signature over nothing else, and a descriptor naming a file outside.
    std::vector<std::uint8_t> vdi(1024, 0);
    vdi[0x40] = 0x7F, vdi[0x41] = 0x10, vdi[0x42] = 0xDA, vdi[0x43] = 0xBE;
    writeFileBytes(dir / "bad.vdi", vdi);
    const std::string text = "# Disk DescriptorFile\nversion=1\ncreateType=\"monolithicFlat\"\n"
                             "# Extent description\nRW 2048 FLAT \"../../etc/passwd\" 0\n";
    writeFileBytes(dir / "bad.vmdk", std::vector<std::uint8_t>(text.begin(), text.end()));
    struct Case {
        const char* file;
        const char* text;
    };
    for (const Case& c : {Case{"bad.vdi", "Please select valid vdi file to continue the recovery process."},
                          Case{"bad.vmdk", "The extent file \"../../etc/passwd\" of this vmdk image lies outside "
                                           "the image's folder."}}) {
        const auto r = cli("info " + q(dir / c.file));
        EXPECT_EQ(r.exitCode, 2) << c.file;
        EXPECT_NE(r.err.find(c.text), std::string::npos) << r.err;
    }
}
