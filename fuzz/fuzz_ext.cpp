// Fuzz target: the ext2Class parser (superblock, group descriptors, inodes,
// extent trees, block maps and folder blocks) over an arbitrary volume: whole,
// pieces of it, or its start inside a sparse VHD claiming 2 TiB (ParserFuzz.h).
#include "ParserFuzz.h"
#include "fs/ext/ext2Class.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return tavrel::fuzz::fuzzParser<tavrel::fs::ext2Class>(data, size);
}
