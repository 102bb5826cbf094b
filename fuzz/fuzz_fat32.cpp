// Fuzz target: the Fat32Class parser over an arbitrary volume image held in memory.
#include "ParserFuzz.h"
#include "fs/fat/Fat32Class.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return tavrel::fuzz::fuzzParser<tavrel::fs::fat::Fat32Class>(data, size);
}
