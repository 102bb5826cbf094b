// Reads a whole disk image of any format the opener reads sequentially in 5 MiB
// readAt calls and prints the throughput in MiB/s. Usage: bench_read_image IMAGE
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "image/ImageOpener.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s IMAGE\n", argv[0]);
        return 2;
    }
    const tavrel::OpenedImage opened = tavrel::openImage(argv[1]);
    if (!opened) {
        std::fprintf(stderr, "%s: %s\n", argv[1], opened.message.c_str());
        return 2;
    }
    const tavrel::readWriteInterface& reader = *opened.reader;
    constexpr std::size_t chunk = 5 * 1024 * 1024;
    std::vector<std::uint8_t> buf(chunk);
    std::uint64_t checksum = 0;
    const auto start = std::chrono::steady_clock::now();
    for (std::int64_t off = 0; off < reader.diskSize(); off += static_cast<std::int64_t>(chunk)) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(chunk, reader.diskSize() - off));
        reader.readAt(off, std::span(buf).first(n));
        checksum += buf[n / 2];
    }
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.1f\n", static_cast<double>(reader.diskSize()) / (1024.0 * 1024.0) / secs);
    std::fprintf(stderr, "checksum %llu\n", static_cast<unsigned long long>(checksum));
    return 0;
}
