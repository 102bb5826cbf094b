// Disk sectors for the wizard tests' images (partition tables, boot sectors); the
// images themselves come from the shared VHD builder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/VhdBuilder.h"

namespace tavrel::test {

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
