// Decoder for the run list (mapping pairs) of a non-resident attribute.
#pragma once

#include <cstdint>
#include <vector>

#include "fs/ntfs/NtfsTypes.h"
#include "util/Bytes.h"

namespace tavrel::fs {

struct RunListResult {
    std::vector<MftRun> runs;
    bool terminated = false;  // a 0x00 header byte ended the list
    bool damaged = false;     // a field did not fit, overflowed, or was impossible
};

// Decodes runs until the terminator, the end of `bytes`, or `clusterLimit`
// clusters (the attribute's VCN span; a run reaching past it is clipped).
// Lengths are up to 8 bytes unsigned, offsets up to 8 bytes signed and relative
// to the previous run's cluster; a run without an offset field is a hole.
RunListResult decodeRunList(ByteSpan bytes, std::uint64_t clusterLimit);

}  // namespace tavrel::fs
