// Reads a whole VHD image sequentially through the reader in 5 MiB reads (the
// export's read size) and prints the throughput in MiB/s. Usage:
//   bench_read_throughput IMAGE [seekread|readat]
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "image/FileReadSeekVHD.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s IMAGE [seekread|readat]\n", argv[0]);
        return 2;
    }
    const std::string mode = argc > 2 ? argv[2] : "seekread";
    tavrel::FileReadSeekVHD reader;
    if (!reader.open(argv[1])) {
        std::fprintf(stderr, "%s: %s\n", argv[1], reader.lastError().c_str());
        return 2;
    }
    constexpr std::size_t chunk = 5 * 1024 * 1024;
    std::vector<std::uint8_t> buf(chunk);
    std::uint64_t checksum = 0;
    const auto start = std::chrono::steady_clock::now();
    for (std::int64_t off = 0; off < reader.diskSize(); off += static_cast<std::int64_t>(chunk)) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(chunk, reader.diskSize() - off));
        if (mode == "readat") {
            reader.readAt(off, std::span(buf).first(n));
        } else {
            reader.seek(off, 0);
            reader.read(buf.data(), static_cast<std::uint32_t>(n));
        }
        checksum += buf[n / 2];
    }
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double mib = static_cast<double>(reader.diskSize()) / (1024.0 * 1024.0);
    std::printf("%.1f\n", mib / secs);
    std::fprintf(stderr, "checksum %llu\n", static_cast<unsigned long long>(checksum));
    return 0;
}
