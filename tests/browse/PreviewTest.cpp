// The preview's decisions without a toolkit: which view suits the bytes, text
// decoded safely, the hex dump's lines, and the bound on what is read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browse/FakeParser.h"
#include "browse/Preview.h"
#include "image/MemoryImage.h"

namespace tavrel::test {
namespace {

using browse::PreviewKind;
using browse::TextEncoding;

std::vector<std::uint8_t> bytesOf(std::string_view s) { return {s.begin(), s.end()}; }

const std::vector<std::string> kAll = {"jpeg", "png", "gif", "bmp", "webp"};

TEST(Preview, KindByNameAndContent) {
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> formats;
        PreviewKind kind;
    };
    const std::string zeros(64, '\0');
    const Case cases[] = {
        {"a.dat", "\xFF\xD8\xFF\xE0rest", kAll, PreviewKind::Picture},
        {"a.dat", std::string("\x89PNG\r\n\x1A\n", 8) + zeros, kAll, PreviewKind::Picture},
        {"a.dat", "GIF89a....", kAll, PreviewKind::Picture},
        {"a.dat", std::string("BM\x10\0\0\0\0\0\0\0\x36\0\0\0", 14), kAll, PreviewKind::Picture},
        {"a.dat", std::string("RIFF\x10\0\0\0WEBPVP8 ", 16), kAll, PreviewKind::Picture},
        {"a.dat", std::string("RIFF\x10\0\0\0WEBPVP8 ", 16), {"jpeg"}, PreviewKind::Hex},  // no WebP reader: not a picture
        {"BM notes.txt", "BMW drivers\n", kAll, PreviewKind::Text},         // "BM" alone is no bitmap
        {"photo.JPG", zeros, kAll, PreviewKind::Picture},                    // overwritten: the name decides
        {"notes.txt", "line one\nline two\ttab\r\n", kAll, PreviewKind::Text},
        {"grüße.txt", "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln\n", kAll, PreviewKind::Text},
        {"w.txt", std::string("\xFF\xFEh\0i\0", 6), kAll, PreviewKind::Text},
        {"w.txt", std::string("h\0e\0l\0l\0o\0", 10), kAll, PreviewKind::Text},
        {"data.bin", std::string("\x01\x02\x03\x00\xFE\x80\x81\x00\x10", 9), kAll, PreviewKind::Hex},
        {"zeros.bin", zeros, kAll, PreviewKind::Hex},
        {"empty.txt", "", kAll, PreviewKind::Empty},
    };
    for (const Case& c : cases) {
        const auto b = bytesOf(c.bytes);
        EXPECT_EQ(browse::previewKind(c.name, b, c.formats), c.kind) << c.name << " " << c.bytes.size();
    }
}

TEST(Preview, TextDecodedWithControlBytesShownSafely) {
    struct Case {
        std::string bytes;
        TextEncoding encoding;
        std::string shown;
    };
    const Case cases[] = {
        {"a\tb\r\nc", TextEncoding::Utf8, "a\tb\r\nc"},
        {std::string("x\0y\x1B\x7F", 5), TextEncoding::Utf8, "x\u2400y\u241B\u2421"},
        {"\xEF\xBB\xBFok\xFFz", TextEncoding::Utf8, "ok\uFFFDz"},
        {"cut \xE2\x82", TextEncoding::Utf8, "cut "},  // a sequence cut by the prefix's end
        {"\xC0\xAF", TextEncoding::Utf8, "\uFFFD\uFFFD"},  // overlong
        {std::string("\xFF\xFEh\0\x01\0", 6), TextEncoding::Utf16le, "h\u2401"},
        {std::string("\xFE\xFF\0h\xD8\x3D\xDE\x00", 8), TextEncoding::Utf16be, "h\U0001F600"},
        {std::string("\0h\xDC\x00", 4), TextEncoding::Utf16be, "h\uFFFD"},  // a lone low surrogate
    };
    for (const Case& c : cases) EXPECT_EQ(browse::previewText(bytesOf(c.bytes), c.encoding), c.shown) << c.bytes;
    EXPECT_EQ(browse::textEncodingOf(bytesOf(std::string("\xFE\xFF\0h", 4))), TextEncoding::Utf16be);
    EXPECT_EQ(browse::textEncodingOf(bytesOf(std::string("\0h\0i\0!", 6))), TextEncoding::Utf16be);
    // Text shows at most the first 64 KiB.
    EXPECT_EQ(browse::previewText(std::vector<std::uint8_t>(100000, 'a'), TextEncoding::Utf8).size(),
              browse::kTextLimit);
}

TEST(Preview, HexDumpLines) {
    const auto b = bytesOf(std::string("Hello, hex\x00\x01\xFF world!", 20));
    EXPECT_EQ(browse::hexDump(b),
              "00000000  48 65 6c 6c 6f 2c 20 68  65 78 00 01 ff 20 77 6f  |Hello, hex... wo|\n"
              "00000010  72 6c 64 21                                       |rld!|\n");
    // At most the first 4 KiB: 256 lines.
    const std::string dump = browse::hexDump(std::vector<std::uint8_t>(10000, 0x41));
    EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 256);
}

// A file far larger than the bound: its parser would write a terabyte, and
// counts what it was asked to produce.
class EndlessParser final : public fs::Parser {
public:
    static constexpr std::int64_t kSize = std::int64_t{1} << 40;
    EndlessParser(std::string name, bool jpegHead) : name_(std::move(name)), jpegHead_(jpegHead) {}
    fs::ScanOutcome scan(WorkControl&) override { return {}; }
    std::vector<fs::EntryRef> rootLevel() const override { return {1}; }
    std::vector<fs::EntryRef> children(fs::EntryRef) const override { return {}; }
    bool isFolder(fs::EntryRef) const override { return false; }
    bool hasChildren(fs::EntryRef) const override { return false; }
    bool isDeleted(fs::EntryRef) const override { return true; }
    std::string name(fs::EntryRef) const override { return name_; }
    std::int64_t size(fs::EntryRef) const override { return kSize; }
    fs::EntryTimes times(fs::EntryRef) const override { return {}; }
    fs::EntryDescription describeEntry(fs::EntryRef) const override { return {}; }
    std::string sizeText(fs::EntryRef) const override { return {}; }
    bool saveFile(fs::EntryRef, fs::ByteSink& out, WorkControl&) override {
        std::vector<std::uint8_t> chunk(std::size_t{1} << 20, 'x');
        if (jpegHead_) chunk[0] = 0xFF, chunk[1] = 0xD8, chunk[2] = 0xFF;
        for (std::int64_t at = 0; at < kSize; at += static_cast<std::int64_t>(chunk.size())) {
            produced += static_cast<std::int64_t>(chunk.size());
            if (!out.write(chunk)) return false;
        }
        return true;
    }
    std::int64_t produced = 0;

private:
    std::string name_;
    bool jpegHead_;
};

TEST(Preview, AHugeFileReadsAtMostTheBound) {
    WorkControl work;
    struct Case {
        const char* name;
        bool jpegHead;
        std::size_t limit;
    };
    for (const Case& c : {Case{"huge.jpg", false, browse::kPreviewLimit},
                          Case{"huge.bin", true, browse::kPreviewLimit},  // its first bytes say JPEG
                          Case{"huge.log", false, browse::kTextLimit}}) {
        const char* name = c.name;
        const std::size_t limit = c.limit;
        EndlessParser parser(name, c.jpegHead);
        const browse::PreviewBytes got = browse::readEntryPrefix(parser, 1, work);
        EXPECT_EQ(got.bytes.size(), limit) << name;
        EXPECT_LE(parser.produced, static_cast<std::int64_t>(browse::kPreviewLimit)) << name;
        EXPECT_EQ(got.size, EndlessParser::kSize);
        EXPECT_FALSE(got.readFailed);
    }

    // A carved hit that claims a terabyte: its bytes on the volume, bounded.
    std::vector<std::uint8_t> volumeBytes(std::size_t{12} << 20, 'a');
    volumeBytes[4096] = 0xFF, volumeBytes[4097] = 0xD8, volumeBytes[4098] = 0xFF;
    MemoryImage image(volumeBytes);
    const VolumeView view(image, 0);
    const auto picture = browse::readVolumePrefix(view, "f1.jpg", {{4096, EndlessParser::kSize}}, work);
    EXPECT_EQ(picture.bytes.size(), browse::kPreviewLimit);
    EXPECT_EQ(picture.bytes[1], 0xD8);
    EXPECT_EQ(browse::readVolumePrefix(view, "f2.txt", {{0, EndlessParser::kSize}}, work).bytes.size(), browse::kTextLimit);
    EXPECT_EQ(browse::readVolumePrefix(view, "f3.txt", {{100, 10}}, work).bytes.size(), 10u);
    EXPECT_TRUE(browse::readVolumePrefix(view, "f4.txt", {{std::int64_t{1} << 30, 10}}, work).readFailed);
    // A carved file whose carve left out a block: the preview joins the ranges.
    volumeBytes[200] = 'b';
    MemoryImage joined(volumeBytes);
    const auto two = browse::readVolumePrefix(VolumeView(joined, 0), "f5.txt", {{195, 5}, {201, 5}}, work);
    EXPECT_EQ(std::string(two.bytes.begin(), two.bytes.end()), "aaaaaaaaaa");
    EXPECT_EQ(two.size, 10);
}

// What the save path leaves for the user reaches the preview, and nothing read
// is a failure only when there was something to read.
TEST(Preview, FailedAndEmptyEntries) {
    FakeParser parser;
    const auto empty = parser.file(0, "empty.txt", "");
    const auto broken = parser.file(0, "broken.txt", "a");
    parser.node(broken).failRead = true;
    WorkControl work;
    EXPECT_FALSE(browse::readEntryPrefix(parser, empty, work).readFailed);
    EXPECT_TRUE(browse::readEntryPrefix(parser, broken, work).readFailed);
}

}  // namespace
}  // namespace tavrel::test
