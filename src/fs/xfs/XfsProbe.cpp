#include "fs/xfs/XfsProbe.h"

#include "fs/xfs/XfsSuperblock.h"

namespace tavrel::fs::xfs {

BootMatch xfsBootRecord(ByteSpan sector, BootTest) {
    BootMatch m;
    const auto sb = decodeSuperblock(sector);
    if (!sb) return m;
    m.result = BootMatch::Result::Named;
    // Data blocks of 64 KiB at most, so the product fits when the count is below 2^47.
    m.sectors = sb->dataBlocks < (std::uint64_t{1} << 47) ? static_cast<std::int64_t>(sb->dataBlocks * sb->blockSize / 512)
                                                         : 0;
    return m;
}

}  // namespace tavrel::fs::xfs
