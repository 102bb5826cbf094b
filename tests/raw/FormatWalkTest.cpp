// The structure walks on whole files, cut short (zeros follow) and with one
// field damaged at a time: an intact file is measured exactly (a GIF whose image
// data holds the bytes 00,3B is not cut there); a file cut short ends at its last
// valid point as truncated; a damaged field tells where the structure broke; an
// MP3 whose tag states a size too short or whose first frame is damaged still
// ends exactly, and one whose run of frames breaks ends after its last whole frame.
#include <gtest/gtest.h>

#include "image/MemoryImage.h"
#include "raw/FormatWalk.h"
#include "support/CarveFiles.h"

namespace tavrel::test {
namespace {

// A 2x1 GIF89a: a two-colour global table, a graphic control extension, one
// image whose data sub-block holds 00,3B twice, the trailer.
Bytes gif() {
    return {'G', 'I', 'F', '8', '9', 'a', 2, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255,
            0x21, 0xF9, 4, 0, 0, 0, 0, 0,
            0x2C, 0, 0, 0, 0, 2, 0, 1, 0, 0, 2, 5, 0x00, 0x3B, 0x00, 0x3B, 0x44, 0,
            0x3B};
}

// makeMp3's layout: a 10-byte tag header over 322 bytes, frames of 417 bytes
// (every third one 418), a 128-byte ID3v1 tag.
constexpr std::int64_t kTag = 10 + 322;
std::int64_t framesBytes(int frames) {
    std::int64_t n = 0;
    for (int f = 0; f < frames; ++f) n += f % 3 == 2 ? 418 : 417;
    return n;
}

// The first `keep` bytes of file, its last one not zero (so that the walk's
// last valid point is exactly there when zeros follow).
Bytes cutAt(Bytes file, std::size_t keep) {
    while (file[keep - 1] == 0) --keep;
    file.resize(keep);
    return file;
}

TEST(FormatWalk, EndsExactlyOrTellsWhereTheStructureBreaks) {
    using raw::WalkEnd;
    struct Row {
        const char* name;
        const char* extension;
        Bytes file;
        std::size_t at;  // byte to change (ignored when value < 0)
        int value;
        std::int64_t limit;
        std::int64_t expected;
        WalkEnd end;
    };
    const Bytes g = gif();
    const auto gifSize = static_cast<std::int64_t>(g.size());
    const Bytes mp3 = makeMp3(12, 5);
    const auto whole = static_cast<std::int64_t>(mp3.size());
    const Bytes jpeg = makeJpeg(20000, 3);
    const Bytes jpegCut = cutAt(jpeg, 15000);
    const Bytes jpegNoEnd = cutAt(jpeg, jpeg.size() - 2);
    const Bytes png = makePng(20000, 4);
    const auto len = [](const Bytes& b) { return static_cast<std::int64_t>(b.size()); };
    const Row rows[] = {
        {"gif whole", "gif", g, 0, -1, 0, gifSize, WalkEnd::Complete},
        {"gif without trailer", "gif", g, g.size() - 1, 0, 0, gifSize - 1, WalkEnd::Truncated},
        {"gif code size 0", "gif", g, 37, 0, 0, 27, WalkEnd::Damaged},
        {"gif unknown block", "gif", g, 19, 0x22, 0, 19, WalkEnd::Damaged},
        {"gif87 version byte", "gif", g, 4, '8', 0, 0, WalkEnd::Damaged},
        {"mp3 whole", "mp3", mp3, 0, -1, 0, whole, WalkEnd::Complete},
        {"mp3 size not syncsafe", "mp3", mp3, 8, 0x81, 0, 0, WalkEnd::Damaged},
        {"mp3 tag size a byte short", "mp3", mp3, 9, 0x41, 0, whole, WalkEnd::Complete},
        {"mp3 run breaks at frame 5", "mp3", mp3, static_cast<std::size_t>(kTag + framesBytes(5)), 0, 0,
         kTag + framesBytes(5), WalkEnd::Complete},
        {"mp3 first frame damaged", "mp3", mp3, static_cast<std::size_t>(kTag + 2), 0x9C, 0, whole, WalkEnd::Complete},
        {"mp3 limit inside frame 9", "mp3", mp3, 0, -1, kTag + framesBytes(9) + 100, kTag + framesBytes(9),
         WalkEnd::Truncated},
        {"mp3 tag without frames", "mp3", Bytes(mp3.begin(), mp3.begin() + kTag), 0, -1, 0, kTag, WalkEnd::Truncated},
        {"jpeg whole", "jpg", jpeg, 0, -1, 0, len(jpeg), WalkEnd::Complete},
        {"jpeg cut short", "jpg", jpegCut, 0, -1, 0, len(jpegCut), WalkEnd::Truncated},
        {"jpeg without end marker", "jpg", jpegNoEnd, 0, -1, 0, len(jpegNoEnd), WalkEnd::Truncated},
        {"jpeg whose APP0 length lies", "jpg", jpeg, 5, 0x30, 0, 52, WalkEnd::Damaged},
        {"jpeg past the limit", "jpg", jpeg, 0, -1, 10000, 10000, WalkEnd::Truncated},
        {"png whole", "png", png, 0, -1, 0, len(png), WalkEnd::Complete},
        {"png without IEND", "png", cutAt(png, png.size() - 12), 0, -1, 0, len(png) - 12, WalkEnd::Truncated},
        {"png IDAT cut by the limit", "png", png, 0, -1, 10000, 33, WalkEnd::Truncated},
        {"png IHDR type damaged", "png", png, 12, 'X', 0, 8, WalkEnd::Damaged},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Bytes volume(65536, 0);
        Bytes file = row.file;
        if (row.value >= 0) file[row.at] = static_cast<std::uint8_t>(row.value);
        std::copy(file.begin(), file.end(), volume.begin() + 512);
        MemoryImage image(volume);
        const auto walked = raw::walkStructure(row.extension, VolumeView(image, 0), 512, row.limit);
        ASSERT_TRUE(walked.has_value());
        EXPECT_EQ(walked->length, row.expected);
        EXPECT_EQ(walked->end, row.end);
    }
}

}  // namespace
}  // namespace tavrel::test
