// Writes small dynamic VHD images for the wizard tests: chosen footer fields and
// chosen sectors, everything else unallocated.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace tavrel::test {

struct VhdSpec {
    std::uint64_t diskBytes = 8 * 1048576;
    std::uint64_t originalSize = 0;  // 0: diskBytes
    std::uint32_t version = 0x00010000;
    std::uint16_t cylinders = 127;
    std::uint8_t heads = 16;
    std::uint8_t sectorsPerTrack = 63;
    std::map<std::uint64_t, std::vector<std::uint8_t>> sectors;  // sector number -> 512 bytes
};

namespace vhdbuilder {
inline void putBe(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * (n - 1 - i)));
}
inline void checksum(std::vector<std::uint8_t>& b, std::size_t at) {
    std::uint32_t sum = 0;
    for (auto byte : b) sum += byte;
    putBe(b, at, ~sum, 4);
}
}  // namespace vhdbuilder

inline void writeDynamicVhd(const std::filesystem::path& path, const VhdSpec& spec) {
    using namespace vhdbuilder;
    constexpr std::uint64_t kBlock = 2 * 1048576;
    const std::uint64_t blocks = (spec.diskBytes + kBlock - 1) / kBlock;
    const std::uint64_t tableBytes = (blocks * 4 + 511) / 512 * 512;

    std::vector<std::uint8_t> footer(512, 0);
    const std::string cookie = "conectix";
    std::copy(cookie.begin(), cookie.end(), footer.begin());
    putBe(footer, 8, 2, 4);
    putBe(footer, 12, spec.version, 4);
    putBe(footer, 16, 512, 8);
    putBe(footer, 40, spec.originalSize ? spec.originalSize : spec.diskBytes, 8);
    putBe(footer, 48, spec.diskBytes, 8);
    putBe(footer, 56, spec.cylinders, 2);
    footer[58] = spec.heads;
    footer[59] = spec.sectorsPerTrack;
    putBe(footer, 60, 3, 4);
    checksum(footer, 64);

    std::vector<std::uint8_t> header(1024, 0);
    const std::string sparse = "cxsparse";
    std::copy(sparse.begin(), sparse.end(), header.begin());
    putBe(header, 8, ~std::uint64_t{0}, 8);
    putBe(header, 16, 1536, 8);
    putBe(header, 24, 0x00010000, 4);
    putBe(header, 28, blocks, 4);
    putBe(header, 32, kBlock, 4);
    checksum(header, 36);

    // Blocks holding a chosen sector, in order after the table.
    std::map<std::uint64_t, std::vector<std::uint8_t>> data;
    for (const auto& [sector, bytes] : spec.sectors) {
        auto& block = data[sector * 512 / kBlock];
        if (block.empty()) block.assign(512 + kBlock, 0);
        const std::uint64_t inBlock = sector * 512 % kBlock;
        std::copy(bytes.begin(), bytes.begin() + std::min<std::size_t>(512, bytes.size()),
                  block.begin() + static_cast<std::ptrdiff_t>(512 + inBlock));
        block[inBlock / 512 / 8] |= static_cast<std::uint8_t>(0x80 >> (inBlock / 512 % 8));
    }
    std::vector<std::uint8_t> table(tableBytes, 0xFF);
    std::uint64_t next = (1536 + tableBytes) / 512;
    for (const auto& [index, block] : data) {
        putBe(table, index * 4, next, 4);
        next += block.size() / 512;
    }

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    auto write = [&out](const std::vector<std::uint8_t>& b) {
        out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    };
    write(footer);
    write(header);
    write(table);
    for (const auto& [index, block] : data) write(block);
    write(footer);
}

// An MBR sector with one primary partition of the given type.
inline std::vector<std::uint8_t> mbrSector(std::uint8_t type, std::uint32_t start, std::uint32_t count) {
    std::vector<std::uint8_t> s(512, 0);
    s[0x1BE + 4] = type;
    for (int i = 0; i < 4; ++i) {
        s[0x1BE + 8 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(start >> (8 * i));
        s[0x1BE + 12 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(count >> (8 * i));
    }
    s[510] = 0x55;
    s[511] = 0xAA;
    return s;
}

// A minimal NTFS boot sector claiming totalSectors sectors.
inline std::vector<std::uint8_t> ntfsBootSector(std::uint64_t totalSectors) {
    std::vector<std::uint8_t> s(512, 0);
    s[0] = 0xEB;
    s[1] = 0x52;
    s[2] = 0x90;
    const std::string oem = "NTFS    ";
    std::copy(oem.begin(), oem.end(), s.begin() + 3);
    s[0x0B] = 0x00;
    s[0x0C] = 0x02;  // 512 bytes per sector
    s[0x0D] = 8;
    for (int i = 0; i < 8; ++i) s[0x28 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(totalSectors >> (8 * i));
    s[510] = 0x55;
    s[511] = 0xAA;
    return s;
}

}  // namespace tavrel::test

namespace tavrel::test {

// A protective MBR (one type 0xEE entry over the disk).
inline std::vector<std::uint8_t> protectiveMbr(std::uint32_t sectors) { return mbrSector(0xEE, 1, sectors - 1); }

// Sector 1 of a GPT disk: just the header signature, enough to tell GPT apart.
inline std::vector<std::uint8_t> gptHeaderSector() {
    std::vector<std::uint8_t> s(512, 0);
    const std::string sig = "EFI PART";
    std::copy(sig.begin(), sig.end(), s.begin());
    return s;
}

// An MBR sector with up to four primary partitions {type, start, count}.
struct MbrPart {
    std::uint8_t type;
    std::uint32_t start;
    std::uint32_t count;
};
inline std::vector<std::uint8_t> mbrSector(const std::vector<MbrPart>& parts) {
    std::vector<std::uint8_t> s(512, 0);
    for (std::size_t p = 0; p < parts.size() && p < 4; ++p) {
        const std::size_t e = 0x1BE + 16 * p;
        s[e + 4] = parts[p].type;
        for (int i = 0; i < 4; ++i) {
            s[e + 8 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(parts[p].start >> (8 * i));
            s[e + 12 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(parts[p].count >> (8 * i));
        }
    }
    s[510] = 0x55;
    s[511] = 0xAA;
    return s;
}

}  // namespace tavrel::test

namespace tavrel::test {

// A fixed VHD: the disk's sectors followed by the footer.
inline void writeFixedVhd(const std::filesystem::path& path, const VhdSpec& spec) {
    using namespace vhdbuilder;
    std::vector<std::uint8_t> footer(512, 0);
    const std::string cookie = "conectix";
    std::copy(cookie.begin(), cookie.end(), footer.begin());
    putBe(footer, 8, 2, 4);
    putBe(footer, 12, spec.version, 4);
    putBe(footer, 16, ~std::uint64_t{0}, 8);
    putBe(footer, 40, spec.originalSize ? spec.originalSize : spec.diskBytes, 8);
    putBe(footer, 48, spec.diskBytes, 8);
    putBe(footer, 56, spec.cylinders, 2);
    footer[58] = spec.heads;
    footer[59] = spec.sectorsPerTrack;
    putBe(footer, 60, 2, 4);
    checksum(footer, 64);
    std::vector<std::uint8_t> disk(spec.diskBytes, 0);
    for (const auto& [sector, bytes] : spec.sectors)
        std::copy(bytes.begin(), bytes.end(), disk.begin() + static_cast<std::ptrdiff_t>(sector * 512));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(disk.data()), static_cast<std::streamsize>(disk.size()));
    out.write(reinterpret_cast<const char*>(footer.data()), static_cast<std::streamsize>(footer.size()));
}

}  // namespace tavrel::test
