#include "support/VhdBuilder.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace tavrel::test {

namespace {

constexpr std::size_t kSector = 512;

void putBe(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v, int width) {
    for (int i = 0; i < width; ++i)
        b.at(at + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(v >> (8 * (width - 1 - i)));
}

// The one's complement of the byte sum, with the checksum field counted as zero.
void putChecksum(std::vector<std::uint8_t>& b, std::size_t start, std::size_t size, std::size_t field) {
    putBe(b, start + field, 0, 4);
    std::uint32_t sum = 0;
    for (std::size_t i = start; i < start + size; ++i) sum += b[i];
    putBe(b, start + field, ~sum, 4);
}

std::vector<std::uint8_t> footerOf(const VhdSpec& spec) {
    std::vector<std::uint8_t> f(kSector, 0);
    std::memcpy(f.data(), "conectix", 8);
    putBe(f, 0x08, 2, 4);  // features: reserved bit set
    putBe(f, 0x0C, spec.version, 4);
    putBe(f, vhdfield::kFooterDataOffset, spec.kind == VhdKind::Fixed ? ~std::uint64_t{0} : kSector, 8);
    std::memcpy(f.data() + 0x1C, "tavt", 4);
    putBe(f, vhdfield::kFooterOriginalSize, spec.originalSize ? spec.originalSize : spec.diskBytes, 8);
    putBe(f, vhdfield::kFooterCurrentSize, spec.diskBytes, 8);
    putBe(f, 0x38, spec.cylinders, 2);
    f[0x3A] = spec.heads;
    f[0x3B] = spec.sectorsPerTrack;
    const std::uint32_t type = spec.kind == VhdKind::Fixed ? 2 : spec.kind == VhdKind::Dynamic ? 3 : 4;
    putBe(f, vhdfield::kFooterDiskType, type, 4);
    putChecksum(f, 0, kSector, 0x40);
    return f;
}

std::vector<std::uint8_t> headerOf(const VhdSpec& spec, std::uint64_t blocks, std::size_t tableAt) {
    std::vector<std::uint8_t> h(1024, 0);
    std::memcpy(h.data(), "cxsparse", 8);
    putBe(h, 0x08, ~std::uint64_t{0}, 8);
    putBe(h, vhdfield::kHeaderTableOffset, tableAt, 8);
    putBe(h, 0x18, 0x00010000, 4);
    putBe(h, vhdfield::kHeaderMaxTableEntries, blocks, 4);
    putBe(h, vhdfield::kHeaderBlockSize, spec.blockSize, 4);
    // Parent Unicode Name: UTF-16 big-endian (ASCII names are enough here).
    for (std::size_t i = 0; i < spec.parentName.size() && i < 256; ++i)
        putBe(h, 0x40 + 2 * i, static_cast<std::uint8_t>(spec.parentName[i]), 2);
    putChecksum(h, 0, h.size(), 0x24);
    return h;
}

void append(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& part) {
    out.insert(out.end(), part.begin(), part.end());
}

}  // namespace

std::vector<std::uint8_t> rawDiskOf(const VhdSpec& spec) {
    std::vector<std::uint8_t> disk(spec.diskBytes, 0);
    for (const auto& [sector, bytes] : spec.sectors) {
        const std::size_t at = sector * kSector;
        const std::size_t n = std::min({bytes.size(), kSector, disk.size() > at ? disk.size() - at : 0});
        std::copy_n(bytes.begin(), n, disk.begin() + static_cast<std::ptrdiff_t>(at));
    }
    return disk;
}

void writeSparseRaw(const std::filesystem::path& path, const VhdSpec& spec) {
    std::filesystem::remove(path);
    std::ofstream out(path, std::ios::binary);
    for (const auto& [sector, bytes] : spec.sectors) {
        if (sector * kSector >= spec.diskBytes) continue;
        out.seekp(static_cast<std::streamoff>(sector * kSector));
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(std::min({bytes.size(), kSector, spec.diskBytes - sector * kSector})));
    }
    out.close();
    std::filesystem::resize_file(path, spec.diskBytes);
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

VhdImage buildVhd(const VhdSpec& spec) {
    VhdImage image;
    const std::vector<std::uint8_t> footer = footerOf(spec);
    if (spec.kind == VhdKind::Fixed) {
        image.bytes = rawDiskOf(spec);
    } else {
        if (spec.blockSize == 0 || spec.blockSize % kSector != 0) throw std::invalid_argument("block size");
        const std::uint64_t block = spec.blockSize;
        const std::uint64_t blocks = (spec.diskBytes + block - 1) / block;
        const std::uint64_t sectorsPerBlock = block / kSector;
        const std::size_t bitmapBytes = ((sectorsPerBlock + 7) / 8 + kSector - 1) / kSector * kSector;
        image.headerAt = kSector;
        image.tableAt = 3 * kSector;

        // Blocks that hold a chosen sector: sector bitmap, then the block's data.
        std::map<std::uint64_t, std::vector<std::uint8_t>> stored;
        for (const auto& [sector, bytes] : spec.sectors) {
            const std::uint64_t index = sector * kSector / block;
            auto& b = stored[index];
            if (b.empty()) b.assign(bitmapBytes + block, 0);
            const std::uint64_t inBlock = sector % sectorsPerBlock;
            std::copy_n(bytes.begin(), std::min(bytes.size(), kSector),
                        b.begin() + static_cast<std::ptrdiff_t>(bitmapBytes + inBlock * kSector));
            b[inBlock / 8] |= static_cast<std::uint8_t>(0x80 >> (inBlock % 8));
        }
        std::vector<std::uint8_t> table((blocks * 4 + kSector - 1) / kSector * kSector, 0xFF);
        std::uint64_t next = (image.tableAt + table.size()) / kSector;
        for (const auto& [index, b] : stored) {
            putBe(table, index * 4, next, 4);
            next += b.size() / kSector;
        }
        append(image.bytes, footer);
        append(image.bytes, headerOf(spec, blocks, image.tableAt));
        append(image.bytes, table);
        for (const auto& [index, b] : stored) append(image.bytes, b);
    }
    image.footerAt = image.bytes.size();
    append(image.bytes, footer);
    if (spec.shortFooter) image.bytes.pop_back();
    return image;
}

void VhdImage::forgeFooter(std::size_t field, std::uint64_t value, int width) {
    // The trailing footer may be one byte short; forge it in a full-size copy.
    std::vector<std::uint8_t> tail(kSector, 0);
    std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(footerAt), bytes.end(), tail.begin());
    putBe(tail, field, value, width);
    putChecksum(tail, 0, kSector, 0x40);
    std::copy_n(tail.begin(), bytes.size() - footerAt, bytes.begin() + static_cast<std::ptrdiff_t>(footerAt));
    if (headerAt != 0) {
        putBe(bytes, field, value, width);
        putChecksum(bytes, 0, kSector, 0x40);
    }
}

void VhdImage::forgeHeader(std::size_t field, std::uint64_t value, int width) {
    putBe(bytes, headerAt + field, value, width);
    putChecksum(bytes, headerAt, 1024, 0x24);
}

void VhdImage::forgeTableEntry(std::size_t block, std::uint32_t value) { putBe(bytes, tableAt + 4 * block, value, 4); }

void VhdImage::write(const std::filesystem::path& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace tavrel::test
