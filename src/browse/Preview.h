// What a file preview reads and how it shows: a bounded prefix of the file's
// content (read through the parser's own save path, or from the volume for a
// carved file), the kind of view that suits it (picture, text, hex dump), the
// text decoded safely and the hex dump's lines. No toolkit: the front end only
// decodes pictures and draws.
//
// Bounds: never more than kPreviewLimit bytes are kept. A file that looks like
// a picture (by its name's extension or its first bytes) is read up to that
// limit, anything else up to kTextLimit; text shows at most kTextLimit bytes,
// a hex dump the first kHexLimit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fs/ExtentCopy.h"
#include "fs/Parser.h"
#include "image/VolumeView.h"
#include "util/Bytes.h"
#include "util/WorkControl.h"

namespace tavrel::browse {

inline constexpr std::size_t kPreviewLimit = std::size_t{8} << 20;
inline constexpr std::size_t kTextLimit = std::size_t{64} << 10;
inline constexpr std::size_t kHexLimit = std::size_t{4} << 10;

enum class PreviewKind { Empty, Picture, Text, Hex };

// A picture format by its first bytes: "jpeg", "png", "gif", "bmp", "webp", or
// empty when none matches.
std::string pictureFormatOf(ByteSpan head);
// A picture format by the name's extension (same words), or empty.
std::string pictureFormatOfName(std::string_view name);

// How the bytes show: a picture when the name or the bytes say so and the
// format is among `pictureFormats` (the formats the front end can decode),
// text when they decode as text, else a hex dump.
PreviewKind previewKind(std::string_view name, ByteSpan bytes, const std::vector<std::string>& pictureFormats);

// Text recognition: a byte-order mark, or content that is valid UTF-8 (or
// UTF-16 with ASCII in every other byte) with few control bytes.
enum class TextEncoding { None, Utf8, Utf16le, Utf16be };
TextEncoding textEncodingOf(ByteSpan bytes);

// The first kTextLimit bytes as UTF-8 in `encoding` (the mark dropped). Control
// bytes other than tab and line ends show as their Unicode control pictures
// (U+2400..U+2421); undecodable bytes as U+FFFD.
std::string previewText(ByteSpan bytes, TextEncoding encoding);

// The first kHexLimit bytes, 16 a line: offset, hex bytes, printable ASCII
// ("." for others).
std::string hexDump(ByteSpan bytes);

// A bounded prefix of a file's content.
struct PreviewBytes {
    std::string name;           // the file's name (its extension may tell a picture)
    std::vector<std::uint8_t> bytes;
    std::int64_t size = 0;      // the file's full size
    bool readFailed = false;    // nothing could be read (message may say why)
    std::string message;        // the parser's word on the entry, if any
};

// A ByteSink that keeps the content's first bytes: up to kTextLimit, or up to
// kPreviewLimit once the name or the first bytes say picture. A write that
// fills it is taken and refused, which ends the save path's copy.
class PrefixSink : public fs::ByteSink {
public:
    explicit PrefixSink(std::string_view name);
    bool write(ByteSpan bytes) override;
    bool full() const { return bytes_.size() >= limit_; }
    std::vector<std::uint8_t> take() { return std::move(bytes_); }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t limit_;
    bool decided_;
};

// Reads an entry's prefix through the parser's save path (saveFile), so the
// preview shows what a save would write. The caller holds the parser's turn.
PreviewBytes readEntryPrefix(fs::Parser& parser, fs::EntryRef entry, WorkControl& work);

// Reads a carved file's prefix from the volume ranges that hold it, in file
// order (as the save writes it: blocks the carve left out are not read).
PreviewBytes readVolumePrefix(const VolumeView& volume, std::string_view name, const std::vector<fs::Extent>& extents,
                              WorkControl& work);

}  // namespace tavrel::browse
