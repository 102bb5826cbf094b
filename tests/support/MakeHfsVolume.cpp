// Writes an HFS+ volume for the benchmark: FILES files of 1 to 12 KiB in 100
// folders of 10 subfolders, every 97th file 48 KiB in twelve runs (so its last
// runs lie in the extents-overflow file).
// Usage: make_hfs_volume OUTPUT FILES
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "support/HfsWriter.h"

using namespace tavrel::test::hfs;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_hfs_volume OUTPUT FILES\n");
        return 2;
    }
    const long files = std::strtol(argv[2], nullptr, 10);
    HfsLayout layout;
    layout.nodeSize = 8192;
    HfsWriter w(layout);
    std::uint32_t subs[100][10];
    for (int f = 0; f < 100; ++f) {
        char name[32];
        std::snprintf(name, sizeof name, "folder-%03d", f);
        const std::uint32_t folder = w.folder(2, name);
        for (int s = 0; s < 10; ++s) subs[f][s] = w.folder(folder, "sub-" + std::to_string(s));
    }
    for (long i = 0; i < files; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "Recovered document number %05ld.txt", i);
        const bool cut = i % 97 == 0;
        const std::size_t size = cut ? 12 * 4096 - 100 : 1024 + static_cast<std::size_t>(i * 7919) % (11 * 1024);
        w.file(subs[i % 100][(i / 100) % 10], name, patternContent(size, static_cast<std::uint32_t>(i)), cut ? 12 : 1);
    }
    const Bytes volume = w.build();
    std::ofstream out(argv[1], std::ios::binary);
    out.write(reinterpret_cast<const char*>(volume.data()), static_cast<std::streamsize>(volume.size()));
    return out ? 0 : 1;
}
