// Fuzz target: the Fat16Class parser over an arbitrary volume image held in memory.
#include "ParserFuzz.h"
#include "fs/fat/Fat16Class.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return tavrel::fuzz::fuzzParser<tavrel::fs::fat::Fat16Class>(data, size);
}
