// Fuzzes the VMDK reader: the input is written as an image file in a folder of
// its own (a descriptor's extents then name nothing that exists), opened, and
// read at a few positions, including across grain boundaries and past the end.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "image/FileReadSeekVmdk.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string dir = "/tmp/tavrel-fuzz-vmdk-" + std::to_string(::getpid());
    static const std::string path = dir + "/x.vmdk";
    ::mkdir(dir.c_str(), 0700);
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    } else {
        return 0;
    }
    tavrel::FileReadSeekVmdk reader;
    if (!reader.open(path)) return 0;
    std::vector<std::uint8_t> buf(256 * 1024);
    const std::int64_t disk = reader.diskSize();
    for (std::int64_t pos : {std::int64_t{0}, disk / 2 - 700, disk - 512, disk - 100, disk, disk + 4096}) {
        reader.readAt(pos, buf);
        reader.isUnallocated(pos, 65536);
        reader.nextStored(pos);
        reader.seek(pos, 0);
        reader.read(buf.data(), 1536);
    }
    return 0;
}
