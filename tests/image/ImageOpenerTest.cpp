// The opener picks the reader by content, whatever the file is called, and
// refuses what it cannot read with a typed error and the user's text.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "image/HostFile.h"
#include "image/ImageOpener.h"
#include "support/TestSupport.h"
#include "support/VhdBuilder.h"

using namespace tavrel;
using tavrel::test::TempDir;
using tavrel::test::VhdKind;
using tavrel::test::VhdSpec;

namespace {

// 4 MiB disk with marked sectors in two blocks (1 MiB blocks for the sparse kinds).
VhdSpec markedDisk(VhdKind kind) {
    VhdSpec spec;
    spec.kind = kind;
    spec.diskBytes = 4 * 1048576;
    spec.blockSize = 1048576;
    for (std::uint64_t s : {0u, 1u, 2047u, 6000u, 8191u}) spec.sectors[s] = std::vector<std::uint8_t>(512, static_cast<std::uint8_t>(s % 251 + 1));
    return spec;
}

std::vector<std::uint8_t> vhdBytes(VhdSpec spec) { return test::buildVhd(spec).bytes; }

}  // namespace

TEST(ImageOpener, PicksTheReaderByContentWhateverTheName) {
    TempDir dir;
    VhdSpec shortFooter = markedDisk(VhdKind::Fixed);
    shortFooter.shortFooter = true;
    VhdSpec child = markedDisk(VhdKind::Differencing);
    child.parentName = "base.vhd";
    const auto disk = test::rawDiskOf(markedDisk(VhdKind::Fixed));
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* format;
    };
    const std::vector<Case> cases = {
        {"dynamic.img", vhdBytes(markedDisk(VhdKind::Dynamic)), "vhd-dynamic"},
        {"fixed", vhdBytes(markedDisk(VhdKind::Fixed)), "vhd-fixed"},
        {"short-footer.raw", vhdBytes(shortFooter), "vhd-fixed"},
        {"child.VHD", vhdBytes(child), "vhd-differencing"},
        {"disk.vhd", disk, "raw"},
        {"disk.img", disk, "raw"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::writeFileBytes(dir / c.name, c.bytes);
        const OpenedImage opened = openImage((dir / c.name).string());
        ASSERT_TRUE(opened) << opened.message;
        EXPECT_EQ(opened.error, ImageError::None);
        const ImageInfo info = opened.reader->describe();
        EXPECT_EQ(info.format, c.format);
        EXPECT_EQ(info.diskSize, static_cast<std::int64_t>(disk.size()));
        EXPECT_EQ(info.sectors, disk.size() / 512);
        // Every reader serves the same virtual disk.
        std::vector<std::uint8_t> all(disk.size());
        EXPECT_TRUE(opened.reader->readAt(0, all));
        EXPECT_TRUE(all == disk);
    }
    const ImageInfo childInfo = openImage((dir / "child.VHD").string()).reader->describe();
    ASSERT_FALSE(childInfo.fields.empty());
    EXPECT_EQ(childInfo.fields.back().key, "parent");
    EXPECT_EQ(childInfo.fields.back().value.text, "base.vhd");
}

TEST(ImageOpener, RefusesWhatItCannotReadWithATypedError) {
    TempDir dir;
    test::VhdImage damaged = test::buildVhd(markedDisk(VhdKind::Dynamic));
    damaged.forgeHeader(test::vhdfield::kHeaderBlockSize, 1000, 4);
    struct Case {
        const char* what;
        std::function<std::string()> make;  // returns the path to open
        ImageError error;
        const char* text;
    };
    const auto file = [&dir](const char* name, std::vector<std::uint8_t> bytes) {
        return [&dir, name, bytes] {
            test::writeFileBytes(dir / name, bytes);
            return (dir / name).string();
        };
    };
    const std::vector<Case> cases = {
        {"missing", [&dir] { return (dir / "absent.vhd").string(); }, ImageError::NotFound, "Invalid handle."},
        {"folder", [&dir] { return dir.path().string(); }, ImageError::NotAFile, "Invalid handle."},
        {"pipe (never waited on)",
         [&dir] {
             ::mkfifo((dir / "pipe").c_str(), 0600);
             return (dir / "pipe").string();
         },
         ImageError::NotAFile, "Invalid handle."},
        {"character device", [] { return std::string("/dev/null"); }, ImageError::NotAFile, "Invalid handle."},
        {"empty", file("empty.img", {}), ImageError::NotAnImage, "Not a valid vhd file"},
        {"not whole sectors", file("odd.img", std::vector<std::uint8_t>(1000, 7)), ImageError::NotAnImage,
         "Not a valid vhd file"},
        {"damaged vhd", file("bad.vhd", damaged.bytes), ImageError::Damaged, "Not a valid vhd file"},
    };
    for (const auto& c : cases) {
        const OpenedImage opened = openImage(c.make());
        EXPECT_FALSE(opened) << c.what;
        EXPECT_EQ(opened.reader, nullptr) << c.what;
        EXPECT_EQ(opened.error, c.error) << c.what;
        EXPECT_EQ(opened.message, c.text) << c.what;
    }
    // A file this user may not read (meaningless for root, who reads anything).
    if (::geteuid() != 0) {
        test::writeFileBytes(dir / "locked.img", std::vector<std::uint8_t>(512, 0));
        ::chmod((dir / "locked.img").c_str(), 0);
        const OpenedImage opened = openImage((dir / "locked.img").string());
        EXPECT_EQ(opened.error, ImageError::Unreadable);
        EXPECT_EQ(opened.message, "Invalid handle.");
    }
}

TEST(ImageOpener, RawReaderStopsAtTheEndOfTheFile) {
    TempDir dir;
    std::vector<std::uint8_t> disk(8 * 512);
    for (std::size_t i = 0; i < disk.size(); ++i) disk[i] = static_cast<std::uint8_t>(i / 512 + 1);
    test::writeFileBytes(dir / "d.img", disk);
    const OpenedImage opened = openImage((dir / "d.img").string());
    ASSERT_TRUE(opened);
    const readWriteInterface& r = *opened.reader;
    std::vector<std::uint8_t> buf(1024, 0xEE);
    EXPECT_FALSE(r.readAt(7 * 512, buf));  // half on the disk
    EXPECT_EQ(buf[0], 8);
    EXPECT_EQ(buf[600], 0);
    EXPECT_FALSE(r.readAt(8 * 512, buf));
    EXPECT_FALSE(r.readAt(-512, buf));
    EXPECT_FALSE(r.isUnallocated(0, 512));
}

TEST(ImageOpener, RegularFilesAndBlockDevicesAreTheImageFileTypes) {
    for (const unsigned type : {S_IFREG, S_IFBLK}) EXPECT_TRUE(isImageFileType(type | 0644)) << type;
    for (const unsigned type : {S_IFDIR, S_IFIFO, S_IFCHR, S_IFSOCK, S_IFLNK})
        EXPECT_FALSE(isImageFileType(type | 0644)) << type;
    // A loop device this user can open is taken up, whatever it then holds.
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/dev", ec)) {
        if (e.path().filename().string().rfind("loop", 0) != 0 || !e.is_block_file(ec) ||
            ::access(e.path().c_str(), R_OK) != 0)
            continue;
        EXPECT_NE(openImage(e.path().string()).error, ImageError::NotAFile) << e.path();
        break;
    }
}
