#include "fs/ntfs/RunList.h"

namespace tavrel::fs {

RunListResult decodeRunList(ByteSpan bytes, std::uint64_t clusterLimit) {
    RunListResult result;
    std::size_t pos = 0;
    std::int64_t lcn = 0;
    std::uint64_t total = 0;
    while (pos < bytes.size()) {
        const std::uint8_t header = bytes[pos];
        const unsigned lengthBytes = header & 0x0F;
        const unsigned offsetBytes = header >> 4;
        if (lengthBytes == 0) {
            result.terminated = true;
            break;
        }
        if (lengthBytes > 8 || offsetBytes > 8 || !fits(bytes.size(), pos + 1, lengthBytes + offsetBytes)) {
            result.damaged = true;
            break;
        }
        std::uint64_t length = 0;
        for (unsigned i = 0; i < lengthBytes; ++i) length |= std::uint64_t{bytes[pos + 1 + i]} << (8 * i);
        std::uint64_t rawOffset = 0;
        for (unsigned i = 0; i < offsetBytes; ++i)
            rawOffset |= std::uint64_t{bytes[pos + 1 + lengthBytes + i]} << (8 * i);
        if (offsetBytes > 0 && offsetBytes < 8 && (rawOffset >> (8 * offsetBytes - 1)) & 1)
            rawOffset |= ~std::uint64_t{0} << (8 * offsetBytes);  // sign-extend
        pos += 1 + lengthBytes + offsetBytes;

        MftRun run;
        run.sparse = offsetBytes == 0;
        if (!run.sparse) {
            std::int64_t next = 0;
            if (__builtin_add_overflow(lcn, static_cast<std::int64_t>(rawOffset), &next)) {
                result.damaged = true;
                break;
            }
            lcn = next;
            run.lcn = lcn;
        }
        if (length == 0 || total >= clusterLimit) {
            result.damaged = true;
            break;
        }
        if (length > clusterLimit - total) {
            length = clusterLimit - total;
            result.damaged = true;
        }
        run.length = length;
        total += length;
        result.runs.push_back(run);
    }
    return result;
}

}  // namespace tavrel::fs
