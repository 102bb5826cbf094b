// Whole-buffer inflation of compressed grains and clusters, whose inflated
// size is known in advance: stream-optimized VMDK grains (zlib wrapper) and
// compressed qcow2 clusters (raw DEFLATE). Each thread keeps one decompressor
// for its life, so reads from several threads inflate side by side.
#pragma once

#include "util/Bytes.h"

namespace tavrel {

enum class DeflateWrapper { Zlib, Raw };

// Inflates the stream at the start of `in` (bytes after its end are ignored)
// into `out`; what it does not fill of `out` is zeroed, unless `fill` asks the
// data to fill all of it. False, `out` zeroed, when the data is damaged or
// inflates to more than out.size() bytes (or, with `fill`, to fewer).
bool inflateInto(DeflateWrapper wrapper, ByteSpan in, MutableByteSpan out, bool fill = false);

}  // namespace tavrel
