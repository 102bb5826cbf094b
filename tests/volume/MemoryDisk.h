// Disks built in memory for the volume tests: partition tables and boot records
// written field by field, so each test states exactly the bytes it relies on.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "image/MemoryImage.h"

namespace tavrel::test {

class MemoryDisk {
public:
    explicit MemoryDisk(std::int64_t sectors) : bytes_(static_cast<std::size_t>(sectors) * 512) {}

    std::uint8_t* sector(std::int64_t s) { return bytes_.data() + s * 512; }
    std::int64_t sectors() const { return static_cast<std::int64_t>(bytes_.size() / 512); }

    void put16(std::int64_t s, std::size_t at, std::uint16_t v) { putLe(s, at, v, 2); }
    void put32(std::int64_t s, std::size_t at, std::uint32_t v) { putLe(s, at, v, 4); }
    void put64(std::int64_t s, std::size_t at, std::uint64_t v) { putLe(s, at, v, 8); }
    void putText(std::int64_t s, std::size_t at, const char* text) { std::memcpy(sector(s) + at, text, std::strlen(text)); }

    // One 16-byte entry of the partition table in sector tableSector (MBR or EBR).
    void tableEntry(std::int64_t tableSector, int index, std::uint8_t type, std::uint32_t start, std::uint32_t count) {
        const std::size_t at = 0x1BE + 16 * static_cast<std::size_t>(index);
        sector(tableSector)[at + 4] = type;
        put32(tableSector, at + 8, start);
        put32(tableSector, at + 12, count);
        sector(tableSector)[510] = 0x55;
        sector(tableSector)[511] = 0xAA;
    }

    void ntfsBoot(std::int64_t s, std::uint64_t totalSectors, const char* oem = "NTFS    ") {
        sector(s)[0] = 0xEB;
        sector(s)[1] = 0x52;
        sector(s)[2] = 0x90;
        putText(s, 3, oem);
        put16(s, 0x0B, 512);
        put64(s, 0x28, totalSectors);
    }

    // A FAT boot sector as Windows writes it ("MSDOS5.0"), or with another OEM
    // name; sound adds the BIOS parameter block fields that hold together.
    void fatBoot(std::int64_t s, bool fat32, std::uint16_t sectorsPerFat, std::uint32_t totalSectors,
                 const char* oem = "MSDOS5.0", bool sound = false) {
        sector(s)[0] = 0xEB;
        sector(s)[1] = fat32 ? 0x58 : 0x3C;
        sector(s)[2] = 0x90;
        putText(s, 3, oem);
        put16(s, 0x16, fat32 ? 0 : sectorsPerFat);
        if (!fat32 && totalSectors < 0x10000) {
            put16(s, 0x13, static_cast<std::uint16_t>(totalSectors));
        } else {
            put32(s, 0x20, totalSectors);
        }
        if (sound) {
            put16(s, 0x0B, 512);
            sector(s)[0x0D] = 4;
            put16(s, 0x0E, fat32 ? 32 : 4);
            sector(s)[0x10] = 2;
            put16(s, 0x11, fat32 ? 0 : 512);
            sector(s)[0x15] = 0xF8;
            if (fat32) put32(s, 0x24, sectorsPerFat);
            sector(s)[510] = 0x55;
            sector(s)[511] = 0xAA;
        }
    }

    void exfatBoot(std::int64_t s, std::uint64_t volumeLength, std::uint8_t jump = 0x76) {
        sector(s)[0] = 0xEB;
        sector(s)[1] = jump;
        sector(s)[2] = 0x90;
        putText(s, 3, "EXFAT   ");
        put64(s, 0x48, volumeLength);
    }

    // HFS+ volume header in sector s (1024 bytes into its volume); big-endian.
    void hfsHeader(std::int64_t s, std::uint32_t blockSize, std::uint32_t blocks) {
        sector(s)[0] = 0x48;
        sector(s)[1] = 0x2B;
        sector(s)[2] = 0x00;
        sector(s)[3] = 0x04;
        putBe32(s, 0x28, blockSize);
        putBe32(s, 0x2C, blocks);
    }

    // GPT header in sector 1 (behind a protective MBR) whose entry array starts at arrayLba.
    void gptHeader(std::uint64_t arrayLba = 2) {
        tableEntry(0, 0, 0xEE, 1, static_cast<std::uint32_t>(sectors() - 1));
        putText(1, 0, "EFI PART");
        put64(1, 72, arrayLba);
    }

    // One 128-byte GPT entry; typeByte fills the first four bytes of the type GUID.
    void gptEntry(int index, std::int64_t first, std::int64_t last, const std::u16string& name,
                  std::uint8_t typeByte = 0xA2, std::uint64_t arrayLba = 2) {
        std::uint8_t* e = bytes_.data() + arrayLba * 512 + 128 * static_cast<std::size_t>(index);
        std::memset(e, typeByte, 4);
        for (int i = 0; i < 8; ++i) e[0x20 + i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(first) >> (8 * i));
        for (int i = 0; i < 8; ++i) e[0x28 + i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(last) >> (8 * i));
        for (std::size_t i = 0; i < name.size() && i < 36; ++i) {
            e[0x38 + 2 * i] = static_cast<std::uint8_t>(name[i] & 0xFF);
            e[0x38 + 2 * i + 1] = static_cast<std::uint8_t>(name[i] >> 8);
        }
    }

    MemoryImage image() const { return MemoryImage(bytes_); }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

private:
    void putLe(std::int64_t s, std::size_t at, std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i) sector(s)[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    void putBe32(std::int64_t s, std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) sector(s)[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
    }

    std::vector<std::uint8_t> bytes_;
};

}  // namespace tavrel::test
