// One file or folder of a FAT12/16/32 volume, as one directory slot described it.
#pragma once

#include <cstdint>
#include <string>

#include "fs/fat/EntryLinks.h"

namespace tavrel::fs::fat {

struct FatEntry {
    std::uint8_t attributes = 0;
    std::uint8_t creationTenths = 0;
    std::uint16_t creationTime = 0;
    std::uint16_t creationDate = 0;
    std::uint16_t accessDate = 0;
    std::uint16_t firstClusterHigh = 0;
    std::uint16_t writeTime = 0;
    std::uint16_t writeDate = 0;
    std::uint16_t firstClusterLow = 0;
    std::uint32_t size = 0;
    bool deleted = false;
    std::string name;  // UTF-8
    EntryLinks links;
};

}  // namespace tavrel::fs::fat
