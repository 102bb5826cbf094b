// The structure walk of a GIF: header and logical screen (with its global colour
// table), then extension and image blocks, each image with its local colour
// table and its chain of data sub-blocks, up to the trailer byte 0x3B. The file
// ends right after the trailer; a 0x00,0x3B pair inside image data does not cut it.
#pragma once

#include <cstdint>

#include "raw/WalkCursor.h"

namespace tavrel::raw {

// How the GIF ends: Complete at its trailer (after at least one image), else
// where its structure breaks off within the cursor's range.
Walked gifWalk(WalkCursor& c);

}  // namespace tavrel::raw
