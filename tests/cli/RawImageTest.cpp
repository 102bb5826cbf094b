// Raw disk images through the CLI: a raw copy of an NTFS fixture made by
// qemu-img, and the ".img" the export writes, read exactly like the VHD they
// came from (info, volumes, ls, recover).
#include <gtest/gtest.h>

#include "cli/CliHelpers.h"

using namespace tavrel::test;
namespace fsys = std::filesystem;

namespace {

nlohmann::json infoOf(const fsys::path& image) {
    const auto r = cli("info --json " + q(image));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return nlohmann::json::parse(r.out);  // throws unless the output is one JSON value
}

std::map<std::string, std::string> recovered(const fsys::path& image, const TempDir& out) {
    const auto r = cli("recover " + q(image) + " --volume 0 --out " + q(out.path()));
    EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 1) << r.err;
    return hashesBelow(out.path());
}

}  // namespace

TEST(RawImage, RawCopyAndExportReadLikeTheVhd) {
    if (!haveTool("qemu-img")) GTEST_SKIP() << "qemu-img not installed";
    const auto vhd = unpackedFixture("ntfs/ntfs-mbr.vhd.xz");
    TempDir tmp;
    const auto copy = tmp / "ntfs-mbr.dd";
    ASSERT_EQ(runCommand("qemu-img convert -O raw " + q(vhd) + " " + q(copy)).exitCode, 0);
    const auto exported = cli("export " + q(vhd) + " " + q(tmp.path()));
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    const fsys::path img = exported.out.substr(0, exported.out.find('\n'));
    ASSERT_EQ(img, tmp / "ntfs-mbr.vhd.img");

    const auto vhdInfo = infoOf(vhd);
    const auto volumes = cli("volumes --json " + q(vhd)).out;
    const auto listing = cli("ls " + q(vhd) + " --volume 0").out;
    TempDir vhdOut;
    const auto vhdFiles = recovered(vhd, vhdOut);
    ASSERT_FALSE(vhdFiles.empty());

    for (const fsys::path& raw : {copy, img}) {
        SCOPED_TRACE(raw.filename().string());
        const auto info = infoOf(raw);
        const auto bytes = static_cast<std::int64_t>(fsys::file_size(raw));
        EXPECT_EQ(info.at("format"), "raw");
        EXPECT_EQ(info.at("disk_size").get<std::int64_t>(), bytes);
        EXPECT_EQ(info.at("size").get<std::int64_t>(), bytes);
        EXPECT_EQ(info.at("total_sectors").get<std::int64_t>(), bytes / 512);
        EXPECT_EQ(info.at("size_text"), std::to_string(bytes / 1048576) + " MB");
        EXPECT_FALSE(info.contains("version"));
        EXPECT_FALSE(info.contains("cylinders"));
        EXPECT_NE(cli("info " + q(raw)).out.find("Format:              raw\n"), std::string::npos);

        EXPECT_EQ(cli("volumes --json " + q(raw)).out, volumes);
        EXPECT_EQ(cli("ls " + q(raw) + " --volume 0").out, listing);
        TempDir out;
        EXPECT_EQ(recovered(raw, out), vhdFiles);
    }
    // The export is the VHD's whole virtual disk.
    EXPECT_EQ(infoOf(img).at("disk_size"), vhdInfo.at("disk_size"));
}
