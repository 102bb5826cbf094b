// Disks built in memory for the volume tests: partition tables and boot records
// written field by field, so each test states exactly the bytes it relies on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/MemoryImage.h"
#include "support/ByteWriter.h"

namespace tavrel::test {

class MemoryDisk {
public:
    explicit MemoryDisk(std::int64_t sectors) : bytes_(static_cast<std::size_t>(sectors) * 512) {}

    std::uint8_t* sector(std::int64_t s) { return at(s).data(); }
    std::int64_t sectors() const { return static_cast<std::int64_t>(bytes_.size() / 512); }

    // One 16-byte entry of the partition table in sector tableSector (MBR or EBR).
    void tableEntry(std::int64_t tableSector, int index, std::uint8_t type, std::uint32_t start, std::uint32_t count) {
        const std::size_t entry = 0x1BE + 16 * static_cast<std::size_t>(index);
        at(tableSector).u8(entry + 4, type).le32(entry + 8, start).le32(entry + 12, count).bytes(510, {0x55, 0xAA});
    }

    void ntfsBoot(std::int64_t s, std::uint64_t totalSectors, const char* oem = "NTFS    ") {
        at(s).bytes(0, {0xEB, 0x52, 0x90}).ascii(3, oem).le16(0x0B, 512).le64(0x28, totalSectors);
    }

    // A FAT boot sector as Windows writes it ("MSDOS5.0"), or with another OEM
    // name; sound adds the BIOS parameter block fields that hold together.
    void fatBoot(std::int64_t s, bool fat32, std::uint16_t sectorsPerFat, std::uint32_t totalSectors,
                 const char* oem = "MSDOS5.0", bool sound = false) {
        ByteWriter w = at(s);
        w.bytes(0, {0xEB, static_cast<std::uint8_t>(fat32 ? 0x58 : 0x3C), 0x90}).ascii(3, oem);
        w.le16(0x16, fat32 ? 0 : sectorsPerFat);
        if (!fat32 && totalSectors < 0x10000) {
            w.le16(0x13, static_cast<std::uint16_t>(totalSectors));
        } else {
            w.le32(0x20, totalSectors);
        }
        if (sound) {
            w.le16(0x0B, 512).u8(0x0D, 4).le16(0x0E, fat32 ? 32 : 4).u8(0x10, 2).le16(0x11, fat32 ? 0 : 512);
            w.u8(0x15, 0xF8).bytes(510, {0x55, 0xAA});
            if (fat32) w.le32(0x24, sectorsPerFat);
        }
    }

    void exfatBoot(std::int64_t s, std::uint64_t volumeLength, std::uint8_t jump = 0x76) {
        at(s).bytes(0, {0xEB, jump, 0x90}).ascii(3, "EXFAT   ").le64(0x48, volumeLength);
    }

    // HFS+ volume header in sector s (1024 bytes into its volume); big-endian.
    void hfsHeader(std::int64_t s, std::uint32_t blockSize, std::uint32_t blocks) {
        at(s).bytes(0, {0x48, 0x2B, 0x00, 0x04}).be32(0x28, blockSize).be32(0x2C, blocks);
    }

    // GPT header in sector 1 (behind a protective MBR) whose entry array starts at arrayLba.
    void gptHeader(std::uint64_t arrayLba = 2) {
        tableEntry(0, 0, 0xEE, 1, static_cast<std::uint32_t>(sectors() - 1));
        at(1).ascii(0, "EFI PART").le64(72, arrayLba);
    }

    // One 128-byte GPT entry; typeByte fills the first four bytes of the type GUID.
    void gptEntry(int index, std::int64_t first, std::int64_t last, const std::u16string& name,
                  std::uint8_t typeByte = 0xA2, std::uint64_t arrayLba = 2) {
        ByteWriter(bytes_)
            .window(arrayLba * 512 + 128 * static_cast<std::size_t>(index), 128)
            .fill(0, 4, typeByte)
            .le64(0x20, static_cast<std::uint64_t>(first))
            .le64(0x28, static_cast<std::uint64_t>(last))
            .utf16le(0x38, std::u16string_view(name).substr(0, 36));
    }

    MemoryImage image() const { return MemoryImage(bytes_); }
    std::vector<std::uint8_t>& bytes() { return bytes_; }
    // A writer over sector s.
    ByteWriter at(std::int64_t s) { return ByteWriter(bytes_).window(static_cast<std::size_t>(s) * 512, 512); }

private:

    std::vector<std::uint8_t> bytes_;
};

}  // namespace tavrel::test
