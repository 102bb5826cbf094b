// The opener picks the reader by content, whatever the file is called, and
// refuses what it cannot read with a typed error and the user's text.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "image/FileReadSeekRaw.h"
#include "image/FileReadSeekVHD.h"
#include "image/FileReadSeekVdi.h"
#include "image/FileReadSeekVmdk.h"
#include "image/HostFile.h"
#include "image/ImageFormats.h"
#include "image/ImageOpener.h"
#include "image/ImageTexts.h"
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

// Each kind of refusal reaches the opener as that kind, with the file offset at
// fault: damage, a variant not read (an encrypted qcow2), a missing backing
// file, and a file the host cannot read.
TEST(ImageOpener, RefusalsSayWhichKindOfTroubleAndWhere) {
    TempDir dir;
    test::VhdImage damaged = test::buildVhd(markedDisk(VhdKind::Dynamic));
    damaged.forgeHeader(test::vhdfield::kHeaderBlockSize, 1000, 4);
    test::writeFileBytes(dir / "bad.vhd", damaged.bytes);
    struct Case {
        const char* what;
        std::string command;  // makes the image with qemu-img; empty when none is needed
        const char* image;
        ImageError error;
        std::string text;
        std::int64_t offset;
    };
    const auto d = [&dir](const char* name) { return test::shellQuote((dir / name).string()); };
    const std::string secret = " --object secret,id=s0,data=hunter2 -o encrypt.key-secret=s0";
    const std::vector<Case> cases = {
        {"damaged vhd: its block size", "", "bad.vhd", ImageError::Damaged, "Not a valid vhd file",
         static_cast<std::int64_t>(damaged.headerAt + test::vhdfield::kHeaderBlockSize)},
        // qemu-img times its key derivation, and the timing fails now and then on a busy machine.
        {"qcow2 encrypted with LUKS",
         "(for i in 1 2 3 4 5; do qemu-img create -q -f qcow2 -o encrypt.format=luks,encrypt.iter-time=10" + secret +
             " " + d("luks.qcow2") + " 4M 2>/dev/null && exit 0; done; exit 1)",
         "luks.qcow2", ImageError::Unsupported, imagetexts::kEncryptedQcowText, 32},
        {"qcow2 encrypted with AES", "qemu-img create -q -f qcow2 -o encrypt.format=aes" + secret + " " + d("aes.qcow2") + " 4M",
         "aes.qcow2", ImageError::Unsupported, imagetexts::kEncryptedQcowText, 32},
        {"qcow2 whose backing file is gone",
         "qemu-img create -q -f qcow2 " + d("base.qcow2") + " 4M && qemu-img create -q -f qcow2 -b base.qcow2 -F qcow2 " +
             d("overlay.qcow2") + " && rm " + d("base.qcow2"),
         "overlay.qcow2", ImageError::MissingCompanion, imagetexts::parentNotBeside("qcow2", "base.qcow2"), -1},
    };
    const bool qcow = (readableFormats() + ",").find("qcow2,") != std::string::npos && test::haveTool("qemu-img");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.command.empty() && !qcow) continue;
        if (!c.command.empty()) {
            ASSERT_EQ(test::runCommand(c.command).exitCode, 0);
        }
        const OpenedImage opened = openImage((dir / c.image).string());
        EXPECT_FALSE(opened);
        EXPECT_EQ(opened.error, c.error);
        EXPECT_EQ(opened.message, c.text);
        EXPECT_EQ(opened.offset, c.offset);
    }
    // A file the host will not read (a folder, which the opener refuses before
    // any reader sees it) is unreadable to every reader.
    std::vector<std::unique_ptr<readWriteInterface>> readers;
    readers.push_back(std::make_unique<FileReadSeekVHD>());
    readers.push_back(std::make_unique<FileReadSeekVdi>());
    readers.push_back(std::make_unique<FileReadSeekVmdk>());
    readers.push_back(std::make_unique<FileReadSeekRaw>());
    for (const auto& r : readers) {
        EXPECT_FALSE(r->open(dir.path().string()));
        EXPECT_EQ(r->openOutcome().result, OpenResult::Unreadable);
        EXPECT_EQ(r->openOutcome().text, "Invalid handle.");
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
