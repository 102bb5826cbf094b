// LZNT1 decompression of one compression unit.
#pragma once

#include <cstddef>

#include "util/Bytes.h"

namespace tavrel::fs {

struct Lznt1Result {
    std::size_t produced = 0;  // bytes written to the output
    bool error = false;        // input ran short, a copy reached before its chunk, or the output was full
};

// Decodes chunks until a zero header or the end of the input. Every chunk but the
// last stands for 4096 bytes of output: a chunk that decodes to fewer is followed
// by zeros up to its 4096-byte boundary. Reads and writes are bounded by the
// spans; a bad chunk ends the unit with what was produced.
Lznt1Result decompressUnit(ByteSpan input, MutableByteSpan output);

}  // namespace tavrel::fs
