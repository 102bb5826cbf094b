// Which payload blocks of a VHDX image may hold data, read from the image's own
// block allocation table (BAT). libvhdi reads the disk but does not say which
// ranges the file stores; with this map a whole-disk walk skips the blocks that
// hold nothing instead of reading terabytes of zeros through the library.
// The map keeps one bit per payload block (a VHDX disk is at most 64 TiB and
// its blocks at least 1 MiB, so at most 8 MiB of bits) and reads the table in
// pieces. It is built only when the image's structures hold together and no
// log is pending (a log not yet replayed may change the table); otherwise there
// is no map and every range counts as stored.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrel {

class VhdxBlockMap {
public:
    // Reads the headers, region table, metadata and BAT of the image at path;
    // false (and no map) when any of them does not hold together.
    bool open(const std::string& path);

    std::int64_t diskSize() const { return diskSize_; }
    std::int64_t blockSize() const { return blockSize_; }
    bool hasParent() const { return hasParent_; }

    // The first offset at or after diskOffset in a block that may hold data
    // (stored in the file, or for a differencing image possibly in its parent);
    // diskSize() when none does; diskOffset itself when outside the disk.
    std::int64_t nextStored(std::int64_t diskOffset) const;

private:
    std::int64_t diskSize_ = 0;
    std::int64_t blockSize_ = 0;
    bool hasParent_ = false;
    std::uint64_t blocks_ = 0;
    std::vector<std::uint64_t> bits_;  // one bit per payload block: set when it may hold data
};

}  // namespace tavrel
