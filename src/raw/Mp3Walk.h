// The structure walk of an MP3: an optional ID3v2 tag (its size is a 28-bit
// "syncsafe" number, seven bits per byte), then MPEG audio frames one after the
// other, each as long as its header's bitrate, sample rate and padding make it,
// and an optional 128-byte ID3v1 tag ("TAG") after the last frame. The file ends
// after the last frame of the unbroken run (or after the ID3v1 tag). A first frame
// a little past the tag's stated end (a tagger's short size or padding) is found.
#pragma once

#include <cstdint>
#include <optional>

#include "raw/WalkCursor.h"

namespace tavrel::raw {

// One MPEG audio frame header, decoded.
struct MpegFrame {
    int version = 0;  // 1 (MPEG-1), 2 (MPEG-2) or 25 (MPEG-2.5)
    int layer = 0;    // 1, 2 or 3
    int sampleRate = 0;
    std::int64_t length = 0;  // bytes, header included
};

// The frame a 4-byte header describes; nullopt when it is no valid header (no
// sync, reserved version, layer, bitrate, sample rate or emphasis, or a free
// bitrate, whose frames state no length).
std::optional<MpegFrame> decodeFrameHeader(std::uint32_t header);

// How the MP3 ends: Complete after the last frame of its run (and its ID3v1
// tag), Truncated where the range cuts a frame, else broken after the ID3v2 tag
// when no frame follows it. Without an ID3v2 tag, three frames in a row are
// needed before a run counts as audio.
Walked mp3Walk(WalkCursor& c);

}  // namespace tavrel::raw
