// The structure walk of a GIF: header and logical screen (with its global colour
// table), then extension and image blocks, each image with its local colour
// table and its chain of data sub-blocks, up to the trailer byte 0x3B. The file
// ends right after the trailer; a 0x00,0x3B pair inside image data does not cut it.
#pragma once

#include <cstdint>

#include "raw/WalkCursor.h"

namespace tavrel::raw {

// The GIF's exact length, or 0 when its structure does not hold together within
// the cursor's range (or it holds no image).
std::int64_t gifLength(WalkCursor& c);

}  // namespace tavrel::raw
