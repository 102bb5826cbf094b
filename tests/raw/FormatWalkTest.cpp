// The GIF and MP3 structure walks on whole files and with one field damaged at a
// time: an intact file is measured exactly (a GIF whose image data holds the
// bytes 00,3B is not cut there), a damaged header is no file, an MP3 whose tag
// states a size too short or whose first frame is damaged still ends exactly,
// and one whose run of frames breaks ends after its last whole frame.
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

TEST(FormatWalk, GifAndMp3EndExactlyOrAreRefused) {
    struct Row {
        const char* name;
        const char* extension;
        Bytes file;
        std::size_t at;  // byte to change (ignored when value < 0)
        int value;
        std::int64_t limit;
        std::int64_t expected;
    };
    const Bytes g = gif();
    const Bytes mp3 = makeMp3(12, 5);
    const auto whole = static_cast<std::int64_t>(mp3.size());
    const Row rows[] = {
        {"gif whole", "gif", g, 0, -1, 0, static_cast<std::int64_t>(g.size())},
        {"gif without trailer", "gif", g, g.size() - 1, 0, 0, 0},
        {"gif code size 0", "gif", g, 37, 0, 0, 0},
        {"gif unknown block", "gif", g, 19, 0x22, 0, 0},
        {"gif87 version byte", "gif", g, 4, '8', 0, 0},
        {"mp3 whole", "mp3", mp3, 0, -1, 0, whole},
        {"mp3 size not syncsafe", "mp3", mp3, 8, 0x81, 0, 0},
        {"mp3 tag size a byte short", "mp3", mp3, 9, 0x41, 0, whole},
        {"mp3 run breaks at frame 5", "mp3", mp3, static_cast<std::size_t>(kTag + framesBytes(5)), 0, 0,
         kTag + framesBytes(5)},
        {"mp3 first frame damaged", "mp3", mp3, static_cast<std::size_t>(kTag + 2), 0x9C, 0, whole},
        {"mp3 limit inside frame 9", "mp3", mp3, 0, -1, kTag + framesBytes(9) + 100, kTag + framesBytes(9)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Bytes volume(65536, 0);
        Bytes file = row.file;
        if (row.value >= 0) file[row.at] = static_cast<std::uint8_t>(row.value);
        std::copy(file.begin(), file.end(), volume.begin() + 512);
        MemoryImage image(volume);
        const auto length = raw::walkedLength(row.extension, VolumeView(image, 0), 512, row.limit);
        ASSERT_TRUE(length.has_value());
        EXPECT_EQ(*length, row.expected);
    }
}

}  // namespace
}  // namespace tavrel::test
