#include "support/CarveFiles.h"

#include <array>
#include <stdexcept>

#include "raw/RuleFile.h"
#include "support/TestSupport.h"

namespace tavrel::test {

namespace {

struct Rng {
    std::uint32_t state;
    std::uint8_t next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<std::uint8_t>(state >> 24);
    }
};

std::uint32_t crc32(const std::uint8_t* data, std::size_t n) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= data[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

void put(Bytes& b, std::initializer_list<int> bytes) {
    for (const int v : bytes) b.push_back(static_cast<std::uint8_t>(v));
}
void putText(Bytes& b, const std::string& text) { b.insert(b.end(), text.begin(), text.end()); }
void le(Bytes& b, std::uint64_t v, int width) {
    for (int i = 0; i < width; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void be32(Bytes& b, std::uint32_t v) {
    for (int i = 3; i >= 0; --i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void pngChunk(Bytes& b, const char* type, const Bytes& data) {
    be32(b, static_cast<std::uint32_t>(data.size()));
    const std::size_t from = b.size();
    putText(b, type);
    b.insert(b.end(), data.begin(), data.end());
    be32(b, crc32(b.data() + from, b.size() - from));
}

}  // namespace

Bytes makeJpeg(std::size_t scanBytes, std::uint32_t seed, const Bytes& thumbnail, std::size_t thumbnailAt) {
    Rng rng{seed};
    Bytes b;
    put(b, {0xFF, 0xD8});
    if (!thumbnail.empty()) {
        // APP1: marker, length, "Exif\0\0", padding, then the thumbnail.
        const std::size_t length = 2 + (thumbnailAt - 4 - 2) + thumbnail.size();
        put(b, {0xFF, 0xE1, static_cast<int>(length >> 8), static_cast<int>(length & 0xFF)});
        putText(b, std::string("Exif\0\0", 6));
        b.resize(thumbnailAt, 0);
        b.insert(b.end(), thumbnail.begin(), thumbnail.end());
    }
    put(b, {0xFF, 0xE0, 0x00, 0x10});
    putText(b, std::string("JFIF\0", 5));
    put(b, {1, 1, 0, 0, 1, 0, 1, 0, 0});
    put(b, {0xFF, 0xDB, 0x00, 0x43, 0x00});
    for (int i = 0; i < 64; ++i) b.push_back(static_cast<std::uint8_t>(1 + rng.next() % 50));
    put(b, {0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x10, 0x00, 0x10, 0x01, 0x01, 0x11, 0x00});
    put(b, {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});
    // Entropy-coded data: a 0xFF byte is always followed by a stuffed 0x00.
    for (std::size_t i = 0; i < scanBytes; ++i) {
        const std::uint8_t v = rng.next();
        b.push_back(v);
        if (v == 0xFF) b.push_back(0x00);
    }
    put(b, {0xFF, 0xD9});
    return b;
}

Bytes makePng(std::size_t dataBytes, std::uint32_t seed) {
    Rng rng{seed};
    Bytes b;
    put(b, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A});
    Bytes ihdr;
    be32(ihdr, 16);
    be32(ihdr, 16);
    put(ihdr, {8, 2, 0, 0, 0});
    pngChunk(b, "IHDR", ihdr);
    Bytes idat;
    for (std::size_t i = 0; i < dataBytes; ++i) idat.push_back(rng.next());
    pngChunk(b, "IDAT", idat);
    pngChunk(b, "IEND", {});
    return b;
}

Bytes makePdf(std::size_t bodyBytes, std::uint32_t seed) {
    Rng rng{seed};
    Bytes b;
    putText(b, "%PDF-1.4\n1 0 obj\n<< /Length " + std::to_string(bodyBytes) + " >>\nstream\n");
    for (std::size_t i = 0; i < bodyBytes; ++i) b.push_back(static_cast<std::uint8_t>('a' + rng.next() % 26));
    putText(b, "\nendstream\nendobj\ntrailer\n<< /Root 1 0 R >>\n%%EOF\n");
    return b;
}

Bytes makeZip(std::size_t dataBytes, std::uint32_t seed, const std::string& comment, int entries) {
    Rng rng{seed};
    Bytes b, central;
    for (int e = 0; e < entries; ++e) {
        Bytes data;
        for (std::size_t i = 0; i < dataBytes; ++i) data.push_back(static_cast<std::uint8_t>('A' + rng.next() % 26));
        const std::string name = "data" + std::to_string(e) + ".tx";
        const std::uint32_t crc = crc32(data.data(), data.size());
        const auto size = static_cast<std::uint32_t>(data.size());
        const std::size_t local = b.size();
        put(b, {'P', 'K', 3, 4});
        le(b, 20, 2); le(b, 0, 2); le(b, 0, 2); le(b, 0, 2); le(b, 0x21, 2);
        le(b, crc, 4); le(b, size, 4); le(b, size, 4); le(b, name.size(), 2); le(b, 0, 2);
        putText(b, name);
        b.insert(b.end(), data.begin(), data.end());
        put(central, {'P', 'K', 1, 2});
        le(central, 20, 2); le(central, 20, 2); le(central, 0, 2); le(central, 0, 2); le(central, 0, 2);
        le(central, 0x21, 2); le(central, crc, 4); le(central, size, 4); le(central, size, 4);
        le(central, name.size(), 2); le(central, 0, 2); le(central, 0, 2); le(central, 0, 2); le(central, 0, 2);
        le(central, 0, 4); le(central, local, 4);
        putText(central, name);
    }
    const std::size_t centralAt = b.size();
    b.insert(b.end(), central.begin(), central.end());
    put(b, {'P', 'K', 5, 6});
    le(b, 0, 2); le(b, 0, 2); le(b, entries, 2); le(b, entries, 2);
    le(b, central.size(), 4); le(b, centralAt, 4); le(b, comment.size(), 2);
    putText(b, comment);
    return b;
}

Bytes makeWav(std::size_t dataBytes, std::uint32_t seed) {
    Rng rng{seed};
    Bytes b;
    putText(b, "RIFF");
    le(b, 36 + dataBytes, 4);
    putText(b, "WAVEfmt ");
    le(b, 16, 4); le(b, 1, 2); le(b, 1, 2); le(b, 8000, 4); le(b, 8000, 4); le(b, 1, 2); le(b, 8, 2);
    putText(b, "data");
    le(b, dataBytes, 4);
    for (std::size_t i = 0; i < dataBytes; ++i) b.push_back(rng.next());
    return b;
}

Bytes makeMp3(int frames, std::uint32_t seed) {
    Rng rng{seed};
    Bytes b;
    const std::string title = "Carved tune";
    Bytes body;
    putText(body, "TIT2");
    be32(body, static_cast<std::uint32_t>(title.size() + 1));
    put(body, {0, 0, 0});  // flags, then the text's encoding (ISO-8859-1)
    putText(body, title);
    body.resize(body.size() + 300, 0);  // padding
    putText(b, "ID3");
    put(b, {3, 0, 0});
    for (int shift = 21; shift >= 0; shift -= 7) b.push_back(static_cast<std::uint8_t>((body.size() >> shift) & 0x7F));
    b.insert(b.end(), body.begin(), body.end());
    for (int f = 0; f < frames; ++f) {
        const bool padded = f % 3 == 2;
        put(b, {0xFF, 0xFB, padded ? 0x92 : 0x90, 0x64});
        b.resize(b.size() + 32, 0);  // side information
        for (int i = 0; i < 417 + (padded ? 1 : 0) - 4 - 32; ++i) b.push_back(rng.next());
    }
    putText(b, "TAG");
    putText(b, title);
    b.resize(b.size() + 128 - 3 - title.size(), 0);
    return b;
}

void CarveVolume::place(const std::string& extension, std::int64_t offset, const Bytes& file) {
    if (offset < 0 || static_cast<std::size_t>(offset) + file.size() > bytes.size())
        throw std::out_of_range("file does not fit the volume");
    std::copy(file.begin(), file.end(), bytes.begin() + offset);
    files.push_back({extension, offset, file});
}

Bytes diskWithPartition(const Bytes& volume, std::int64_t startSector) {
    Bytes disk(static_cast<std::size_t>(startSector * 512) + volume.size(), 0);
    const auto sectors = static_cast<std::uint32_t>(volume.size() / 512);
    disk[446 + 4] = 0x0C;
    for (int i = 0; i < 4; ++i) {
        disk[446 + 8 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(startSector >> (8 * i));
        disk[446 + 12 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(sectors >> (8 * i));
    }
    disk[510] = 0x55;
    disk[511] = 0xAA;
    std::copy(volume.begin(), volume.end(), disk.begin() + startSector * 512);
    return disk;
}

void writeTestRules(const std::filesystem::path& path) {
    struct Row {
        const char* ext;
        const char* start;
        const char* end;
        const char* sizeOffset;
        const char* sizeBytes;
        const char* header;
        const char* approx;
        const char* category;
    };
    static constexpr Row kRows[] = {
        {"jpg", "0xFF,0xD8,0xFF", "0xFF,0xD9", "", "", "", "20971520", "Pictures"},
        {"png", "0x89,0x50,0x4E,0x47,0x0D,0x0A,0x1A,0x0A", "0x49,0x45,0x4E,0x44,0xAE,0x42,0x60,0x82", "", "", "",
         "20971520", "Pictures"},
        {"pdf", "0x25,0x50,0x44,0x46,0x2D", "0x25,0x25,0x45,0x4F,0x46", "", "", "", "20971520", "Documents"},
        {"zip", "0x50,0x4B,0x03,0x04", "0x50,0x4B,0x05,0x06", "", "", "", "20971520", "Archives"},
        {"wav", "0x52,0x49,0x46,0x46,0x2A,0x2A,0x2A,0x2A,0x57,0x41", "", "4", "4", "8", "104857600", "Audio"},
    };
    for (const Row& row : kRows) {
        raw::RuleFields f;
        f.extension = row.ext;
        f.startSignature = row.start;
        f.endSignature = row.end;
        f.sizeFieldOffset = row.sizeOffset;
        f.sizeFieldBytes = row.sizeBytes;
        f.headerSize = row.header;
        f.approxSize = row.approx;
        f.category = row.category;
        raw::SettingsRecord record;
        if (const std::string problem = raw::recordFromFields(f, record); !problem.empty())
            throw std::runtime_error(problem);
        if (const std::string problem = raw::appendRecord(path.string(), record); !problem.empty())
            throw std::runtime_error(problem);
    }
}

std::string sha256Of(const Bytes& bytes) {
    TempDir dir;
    writeFileBytes(dir / "f", bytes);
    return sha256File(dir / "f");
}

}  // namespace tavrel::test
