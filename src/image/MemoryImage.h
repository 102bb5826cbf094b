// A reader over bytes held in memory: the seam for parser tests and fuzz targets.
#pragma once

#include <vector>

#include "image/readWriteInterface.h"

namespace tavrel {

class MemoryImage : public readWriteInterface {
public:
    MemoryImage() = default;
    explicit MemoryImage(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    bool open(std::string) override { return true; }
    bool readAt(std::int64_t diskOffset, MutableByteSpan out) const override;
    std::int64_t diskSize() const override { return static_cast<std::int64_t>(bytes_.size()); }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace tavrel
