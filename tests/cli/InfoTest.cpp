// tavrel-cli info on dynamic and fixed VHDs made by qemu-img, checked against
// the footer fields read here independently; files that are no image.
#include <gtest/gtest.h>

#include <fstream>

#include "cli/CliHelpers.h"

using namespace tavrel::test;

namespace {

std::uint64_t be(const std::vector<std::uint8_t>& b, std::size_t at, int bytes) {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | b.at(at + static_cast<std::size_t>(i));
    return v;
}

// The footer copy in the image's last 512 bytes.
std::vector<std::uint8_t> lastSector(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(-512, std::ios::end);
    std::vector<std::uint8_t> b(512);
    if (!in.read(reinterpret_cast<char*>(b.data()), 512)) b.clear();
    return b;
}

void checkInfo(const std::filesystem::path& vhd, const std::string& format) {
    SCOPED_TRACE(vhd.filename().string());
    const std::vector<std::uint8_t> footer = lastSector(vhd);
    ASSERT_EQ(footer.size(), 512u);
    ASSERT_EQ(std::string(footer.begin(), footer.begin() + 8), "conectix");

    const auto r = cli("info --json " + q(vhd));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);  // exactly one JSON value
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << "one object on one line";
    EXPECT_EQ(j.at("format"), format);
    EXPECT_EQ(j.at("size").get<std::uint64_t>(), be(footer, 0x28, 8));
    EXPECT_EQ(j.at("size_text"), std::to_string(be(footer, 0x28, 8) / 1048576) + " MB");
    EXPECT_EQ(j.at("version").get<std::int64_t>(), static_cast<std::int64_t>(be(footer, 0x0C, 4)));
    EXPECT_EQ(j.at("version").get<std::int64_t>(), 65536);
    EXPECT_EQ(j.at("disk_size").get<std::uint64_t>(), be(footer, 0x30, 8));
    EXPECT_EQ(j.at("total_sectors").get<std::uint64_t>(), be(footer, 0x30, 8) / 512);
    EXPECT_EQ(j.at("cylinders").get<std::uint64_t>(), be(footer, 0x38, 2));
    EXPECT_EQ(j.at("heads").get<std::uint64_t>(), be(footer, 0x3A, 1));
    EXPECT_EQ(j.at("sectors_per_track").get<std::uint64_t>(), be(footer, 0x3B, 1));
    EXPECT_EQ(j.at("size_mb").get<std::int64_t>(), static_cast<std::int64_t>(be(footer, 0x28, 8) / 1048576));

    const auto text = cli("info " + q(vhd));
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_NE(text.out.find("File Format Version: 65536"), std::string::npos) << text.out;
}

}  // namespace

TEST(Info, DynamicAndFixedImagesMadeByQemuImg) {
    if (!haveTool("qemu-img")) GTEST_SKIP() << "qemu-img not installed";
    TempDir tmp;
    std::vector<std::uint8_t> raw(10 * 1048576);  // 10 MiB: a size qemu-img must round to CHS
    for (std::size_t i = 0; i < raw.size(); i += 4096) raw[i] = static_cast<std::uint8_t>(i >> 12);
    writeFileBytes(tmp / "disk.raw", raw);
    const auto raw_ = q(tmp / "disk.raw");
    ASSERT_EQ(runCommand("qemu-img convert -f raw -O vpc -o subformat=dynamic " + raw_ + " " + q(tmp / "d.vhd")).exitCode, 0);
    ASSERT_EQ(runCommand("qemu-img convert -f raw -O vpc -o subformat=fixed " + raw_ + " " + q(tmp / "f.vhd")).exitCode, 0);
    checkInfo(tmp / "d.vhd", "vhd-dynamic");
    checkInfo(tmp / "f.vhd", "vhd-fixed");
    // qemu-img rounds the size up to whole CHS cylinders unless asked not to.
    const auto d = nlohmann::json::parse(cli("info --json " + q(tmp / "d.vhd")).out);
    EXPECT_EQ(d.at("disk_size").get<std::int64_t>(),
              d.at("cylinders").get<std::int64_t>() * d.at("heads").get<std::int64_t>() *
                  d.at("sectors_per_track").get<std::int64_t>() * 512);

    if (runCommand("qemu-img convert -f raw -O vpc -o subformat=fixed,force_size=on " + raw_ + " " +
                   q(tmp / "exact.vhd")).exitCode == 0) {
        checkInfo(tmp / "exact.vhd", "vhd-fixed");
        const auto e = nlohmann::json::parse(cli("info --json " + q(tmp / "exact.vhd")).out);
        EXPECT_EQ(e.at("disk_size").get<std::int64_t>(), 10 * 1048576);
        EXPECT_EQ(e.at("total_sectors").get<std::int64_t>(), 20480);
    }
}

TEST(Info, FilesThatAreNoImageExitWithTwo) {
    TempDir tmp;
    // Not a whole number of sectors: neither a VHD nor a raw disk.
    writeFileBytes(tmp / "odd.img", std::vector<std::uint8_t>(65537, 0));
    auto r = cli("info " + q(tmp / "odd.img"));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("Not a valid vhd file"), std::string::npos) << r.err;
    r = cli("info " + q(tmp / "absent.vhd"));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("no such file"), std::string::npos) << r.err;
    // A VHD made by qemu-img whose footers name an unknown disk type is refused
    // as a damaged VHD, not read as a raw disk.
    if (haveTool("qemu-img")) {
        writeFileBytes(tmp / "d.raw", std::vector<std::uint8_t>(1048576, 1));
        ASSERT_EQ(runCommand("qemu-img convert -f raw -O vpc " + q(tmp / "d.raw") + " " + q(tmp / "d.vhd")).exitCode, 0);
        std::fstream f(tmp / "d.vhd", std::ios::binary | std::ios::in | std::ios::out);
        f.seekp(-512 + 0x3F, std::ios::end);
        f.put(9);  // disk type of the footer copy at the end
        f.seekp(0x3F);
        f.put(9);  // and of the copy at the start
        f.close();
        r = cli("info " + q(tmp / "d.vhd"));
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find("Not a valid vhd file"), std::string::npos) << r.err;
    }
}
