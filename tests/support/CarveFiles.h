// Small files of known kinds for carving tests, built byte by byte with their
// real structure (JPEG markers, PNG chunks with CRCs, a stored ZIP archive, a
// RIFF/WAVE file, a PDF, an MP3 of tagged MPEG frames), a volume that holds them at chosen offsets, and the
// rule file the tests carve with, written the way the Setting page writes it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tavrel::test {

using Bytes = std::vector<std::uint8_t>;

// thumbnail, when given, is carried in an APP1 (EXIF) segment so that it starts
// at byte thumbnailAt of the file, as cameras embed their previews.
Bytes makeJpeg(std::size_t scanBytes, std::uint32_t seed, const Bytes& thumbnail = {}, std::size_t thumbnailAt = 0);
Bytes makePng(std::size_t dataBytes, std::uint32_t seed);
Bytes makePdf(std::size_t bodyBytes, std::uint32_t seed);  // ends "%%EOF\n"
// entries stored files of dataBytes each; with dataBytes = 512 * k - 38 every
// entry's local header starts at a sector of the archive.
Bytes makeZip(std::size_t dataBytes, std::uint32_t seed, const std::string& comment = "", int entries = 1);
Bytes makeWav(std::size_t dataBytes, std::uint32_t seed);
// An ID3v2.3 tag (a title frame and padding), `frames` MPEG-1 layer III frames at
// 128 kbit/s and 44.1 kHz (every third one padded) and an ID3v1 tag.
Bytes makeMp3(int frames, std::uint32_t seed);

struct PlacedFile {
    std::string extension;
    std::int64_t offset = 0;
    Bytes bytes;
};

// A volume of `size` zero bytes with files written into it.
struct CarveVolume {
    explicit CarveVolume(std::int64_t size) : bytes(static_cast<std::size_t>(size), 0) {}
    // Writes file at offset (throws when it does not fit) and remembers it.
    void place(const std::string& extension, std::int64_t offset, const Bytes& file);
    Bytes bytes;
    std::vector<PlacedFile> files;
};

// A disk whose MBR holds one partition (type 0x0C) at startSector over volume.
Bytes diskWithPartition(const Bytes& volume, std::int64_t startSector);

// A rule file for jpg, png, pdf, zip (end signatures) and wav (size field at the
// end of its 8-byte header), appended record by record.
void writeTestRules(const std::filesystem::path& path);

std::string sha256Of(const Bytes& bytes);

}  // namespace tavrel::test
