#include "raw/Mp3Walk.h"

namespace tavrel::raw {

namespace {

// Kilobits per second by bitrate index 1..14: MPEG-1 layers 1, 2, 3, then
// MPEG-2/2.5 layer 1 and layers 2 and 3.
constexpr int kBitrates[5][14] = {
    {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};
constexpr int kSampleRates[3] = {44100, 48000, 32000};  // MPEG-1; halved for 2, quartered for 2.5

// Tag header: "ID3", major version 2..4, revision, flags, syncsafe size.
constexpr std::int64_t kId3HeaderBytes = 10;
constexpr std::int64_t kId3v1Bytes = 128;
// Runs without a tag in front need this many frames to count.
constexpr int kUntaggedFrames = 3;
// Some taggers state a size a little short of their tag (or pad after it): the
// first frame is looked for this far past the tag's stated end.
constexpr std::int64_t kResyncBytes = 4096;

// The ID3v2 tag's whole length (header, body and footer), 0 when there is none,
// -1 when a tag starts but its header is damaged.
std::int64_t id3v2Length(WalkCursor& c) {
    if (c.at(0) != 'I' || c.at(1) != 'D' || c.at(2) != '3') return 0;
    const int major = c.at(3), revision = c.at(4), flags = c.at(5);
    if (major < 2 || major > 4 || revision < 0 || revision == 0xFF || flags < 0) return -1;
    std::int64_t size = 0;
    for (int i = 6; i < 10; ++i) {
        const int b = c.at(i);
        if (b < 0 || b >= 0x80) return -1;
        size = (size << 7) | b;
    }
    const bool footer = major == 4 && (flags & 0x10);
    return kId3HeaderBytes + size + (footer ? kId3HeaderBytes : 0);
}

std::optional<std::uint32_t> headerAt(WalkCursor& c, std::int64_t p) {
    const std::int64_t high = c.be16(p), low = c.be16(p + 2);
    if (high < 0 || low < 0) return std::nullopt;
    return static_cast<std::uint32_t>((high << 16) | low);
}

bool sameStream(const MpegFrame& a, const MpegFrame& b) {
    return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate;
}

std::optional<MpegFrame> frameAt(WalkCursor& c, std::int64_t p) {
    const auto header = headerAt(c, p);
    return header ? decodeFrameHeader(*header) : std::nullopt;
}

// The first offset from `from` on, within kResyncBytes, where a frame starts that
// another frame of its stream follows; -1 when there is none.
std::int64_t firstFrame(WalkCursor& c, std::int64_t from) {
    for (std::int64_t p = from; p < from + kResyncBytes; ++p) {
        const int b = c.at(p);
        if (b < 0) return -1;
        if (b != 0xFF) continue;
        const auto frame = frameAt(c, p);
        if (!frame) continue;
        if (p == from) return p;
        const auto next = frameAt(c, p + frame->length);
        if (next && sameStream(*frame, *next)) return p;
    }
    return -1;
}

}  // namespace

std::optional<MpegFrame> decodeFrameHeader(std::uint32_t h) {
    if ((h >> 21) != 0x7FF) return std::nullopt;
    const unsigned versionBits = (h >> 19) & 3, layerBits = (h >> 17) & 3;
    const unsigned bitrateIndex = (h >> 12) & 15, rateIndex = (h >> 10) & 3;
    const unsigned padding = (h >> 9) & 1, emphasis = h & 3;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3 ||
        emphasis == 2)
        return std::nullopt;
    MpegFrame f;
    f.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
    f.layer = 4 - static_cast<int>(layerBits);
    f.sampleRate = kSampleRates[rateIndex] / (f.version == 1 ? 1 : f.version == 2 ? 2 : 4);
    const int table = f.version == 1 ? f.layer - 1 : (f.layer == 1 ? 3 : 4);
    const std::int64_t bitrate = kBitrates[table][bitrateIndex - 1] * 1000LL;
    if (f.layer == 1) {
        f.length = (12 * bitrate / f.sampleRate + padding) * 4;
    } else {
        // MPEG-2 and 2.5 layer 3 frames hold half the samples of MPEG-1's.
        const std::int64_t factor = f.layer == 3 && f.version != 1 ? 72 : 144;
        f.length = factor * bitrate / f.sampleRate + padding;
    }
    return f;
}

Walked mp3Walk(WalkCursor& c) {
    const std::int64_t tag = id3v2Length(c);
    if (tag < 0) return {WalkEnd::Damaged, 0};
    std::int64_t p = tag > 0 ? firstFrame(c, tag) : 0;
    if (p < 0) return c.at(tag - 1) < 0 ? Walked{WalkEnd::Truncated, 0} : brokenAt(c, tag);
    std::optional<MpegFrame> first;
    int frames = 0;
    // Frames follow each other while each header is valid, of the first frame's
    // stream, and the whole frame lies in range.
    bool cut = false;
    while (true) {
        const auto frame = frameAt(c, p);
        if (!frame || (first && !sameStream(*first, *frame))) break;
        if (c.at(p + frame->length - 1) < 0) {
            cut = true;
            break;
        }
        if (!first) first = frame;
        p += frame->length;
        ++frames;
    }
    if (frames == 0 || (tag == 0 && frames < kUntaggedFrames)) return brokenAt(c, tag);
    if (cut) return {WalkEnd::Truncated, p};
    if (c.at(p) == 'T' && c.at(p + 1) == 'A' && c.at(p + 2) == 'G' && c.at(p + kId3v1Bytes - 1) >= 0)
        p += kId3v1Bytes;
    return {WalkEnd::Complete, p};
}

}  // namespace tavrel::raw
