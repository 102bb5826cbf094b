// Fuzzes the VDI reader: the input is written as an image file, opened, and read
// at a few positions, including across block boundaries and past the end.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "image/FileReadSeekVdi.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/tavrel-fuzz-" + std::to_string(::getpid()) + ".vdi";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    } else {
        return 0;
    }
    tavrel::FileReadSeekVdi reader;
    if (!reader.open(path)) return 0;
    std::vector<std::uint8_t> buf(64 * 1024);
    const std::int64_t disk = reader.diskSize();
    for (std::int64_t pos : {std::int64_t{0}, disk / 2 - 700, disk - 512, disk - 100, disk, disk + 4096}) {
        reader.readAt(pos, buf);
        reader.seek(pos, 0);
        reader.read(buf.data(), 1536);
        reader.nextStored(pos);
    }
    return 0;
}
