// Builds small FAT16 volumes in memory for tests that need a shape no tool
// makes easily (folders nested a thousand deep). 512-byte sectors and
// clusters, one FAT, a 512-entry root folder; every folder is one cluster
// ("." and ".." and up to 14 entries), every file its clusters in a chain.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/ByteWriter.h"

namespace tavrel::test {

class Fat16Builder {
public:
    static constexpr std::uint32_t kRoot = 0;
    static constexpr std::uint32_t kSectors = 8192;  // 4 MiB

    Fat16Builder() : volume_(std::size_t{kSectors} * 512) {
        volume_.bytes(0, {0xEB, 0x3C, 0x90}).ascii(3, "TESTFAT ");
        volume_.le16(11, 512).u8(13, 1).le16(14, kReserved).u8(16, 1).le16(17, kRootEntries);
        volume_.le16(19, kSectors).u8(21, 0xF8).le16(22, kFatSectors).u8(38, 0x29);
        volume_.ascii(43, "NO NAME    ").ascii(54, "FAT16   ").bytes(510, {0x55, 0xAA});
        setFat(0, 0xFFF8);
        setFat(1, 0xFFFF);
    }

    // A folder named `name` (8.3, upper case) in `parent` (kRoot or a folder's
    // cluster); returns its cluster.
    std::uint32_t folder(std::uint32_t parent, const std::string& name) {
        const std::uint32_t c = allocate(1);
        entry(parent, name, 0x10, c, 0);
        const std::size_t at = clusterOffset(c);
        shortEntry(at, ".", 0x10, c, 0);
        shortEntry(at + 32, "..", 0x10, parent, 0);
        return c;
    }

    void file(std::uint32_t parent, const std::string& name, const std::string& content) {
        const auto clusters = static_cast<std::uint32_t>((content.size() + 511) / 512);
        const std::uint32_t first = clusters ? allocate(clusters) : 0;
        volume_.ascii(first ? clusterOffset(first) : 0, first ? content : std::string());
        entry(parent, name, 0x20, first, static_cast<std::uint32_t>(content.size()));
    }

    std::vector<std::uint8_t> bytes() const { return volume_.vector(); }

private:
    static constexpr std::uint16_t kReserved = 1;
    static constexpr std::uint16_t kFatSectors = 32;
    static constexpr std::uint16_t kRootEntries = 512;
    static constexpr std::size_t kRootOffset = (kReserved + kFatSectors) * 512;
    static constexpr std::size_t kDataOffset = kRootOffset + kRootEntries * 32;

    static std::size_t clusterOffset(std::uint32_t c) { return kDataOffset + (std::size_t{c} - 2) * 512; }

    void setFat(std::uint32_t c, std::uint16_t v) { volume_.le16(kReserved * 512 + 2 * std::size_t{c}, v); }

    std::uint32_t allocate(std::uint32_t count) {
        const std::uint32_t first = next_;
        if (clusterOffset(first + count) > volume_.size()) throw std::out_of_range("Fat16Builder: volume full");
        for (std::uint32_t i = 0; i < count; ++i)
            setFat(first + i, static_cast<std::uint16_t>(i + 1 < count ? first + i + 1 : 0xFFFF));
        next_ += count;
        return first;
    }

    void entry(std::uint32_t parent, const std::string& name, std::uint8_t attr, std::uint32_t cluster,
               std::uint32_t size) {
        const std::size_t start = parent == kRoot ? kRootOffset : clusterOffset(parent);
        const std::size_t slots = parent == kRoot ? kRootEntries : 16;
        for (std::size_t i = 0; i < slots; ++i) {
            if (volume_.data()[start + 32 * i] != 0) continue;
            shortEntry(start + 32 * i, name, attr, cluster, size);
            return;
        }
        throw std::out_of_range("Fat16Builder: folder full");
    }

    void shortEntry(std::size_t at, const std::string& name, std::uint8_t attr, std::uint32_t cluster,
                    std::uint32_t size) {
        std::string padded(11, ' ');
        const auto dot = name == "." || name == ".." ? std::string::npos : name.find('.');
        padded.replace(0, std::min<std::size_t>(8, dot == std::string::npos ? name.size() : dot), name.substr(0, dot));
        if (dot != std::string::npos) padded.replace(8, name.size() - dot - 1, name.substr(dot + 1));
        volume_.ascii(at, padded).u8(at + 11, attr).le16(at + 26, static_cast<std::uint16_t>(cluster));
        volume_.le16(at + 22, 0x6000).le16(at + 24, 0x5A21).le32(at + 28, size);  // 2025-01-01 12:00
    }

    ByteWriter volume_;
    std::uint32_t next_ = 2;
};

}  // namespace tavrel::test
