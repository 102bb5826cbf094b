// The partitioned disks of tests/fixtures/volume (made by make-fixtures.sh) and
// what the volume list shows for them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/FileReadSeekVHD.h"
#include "support/TestSupport.h"

namespace tavrel::test {

struct ExpectedVolume {
    std::string fsName;
    std::string sizeText;
    std::int64_t start;
};

// Standard scan of mbr.vhd: three primaries, then the three logical volumes.
inline const std::vector<ExpectedVolume> kMbrVolumes = {
    {"FAT32", "34   MB", 2048},  {"NTFS", "16   MB", 71680},  {"FAT64", "8   MB", 104448},
    {"FAT16", "16   MB", 122880}, {"extX", "8   MB", 157696}, {"NTFS", "8   MB", 176128},
};
// Sectors of the extended boot records of mbr.vhd.
inline const std::vector<std::int64_t> kMbrExtendedRecords = {120832, 155648, 174080};

// Standard scan of gpt.vhd ("Microsoft reserved partition" at 2048 gives none).
inline const std::vector<ExpectedVolume> kGptVolumes = {
    {"NTFS", "15   MB", 10240},  {"FAT32", "34  MB", 43008}, {"FAT16", "16  MB", 112640},
    {"FAT64", "8  MB", 145408},  {"extX", "7", 161792}, {"HFS+", "3", 178176},
};

inline std::filesystem::path fixtureVhd(const std::string& name) {
    // The cache keeps the fixture's folder; make it before unpacking into it.
    std::filesystem::create_directories(std::filesystem::path(TAVREL_BINARY_DIR) / "fixture-cache" / "volume");
    return unpackedFixture("volume/" + name + ".xz");
}

inline std::unique_ptr<FileReadSeekVHD> openFixture(const std::string& name) {
    auto reader = std::make_unique<FileReadSeekVHD>();
    if (!reader->open(fixtureVhd(name).string())) return nullptr;
    return reader;
}

}  // namespace tavrel::test
