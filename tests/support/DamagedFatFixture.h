// A FAT-family fixture (tests/fixtures/fat) as a raw disk whose volume lost its
// boot sector and the backup copy: what Advanced mode starts from. The layout
// the Advanced way must find again comes from The Sleuth Kit's fsstat on the
// undamaged disk. exFAT's allocation bitmap is given a fully used first 64
// clusters, as on a volume that has been written to for a while, since only
// such a bitmap starts with the 0xFF bytes the heap hunt looks for.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace tavrel::test {

struct DamagedFatDisk {
    std::filesystem::path raw;          // empty when qemu-img or fsstat is missing
    std::int64_t volumeSectors = 0;     // the volume starts at sector 2048
    std::vector<std::int64_t> fats;     // volume byte offsets of the FATs
    std::int64_t heapOffset = 0;        // volume byte offset of cluster 2
    std::int64_t clusterSize = 0;
    std::map<std::string, std::string> originals;  // path -> sha256 of each original file present
};

inline constexpr std::int64_t kDamagedVolumeSector = 2048;

inline DamagedFatDisk damagedFatDisk(const std::string& fixture, const TempDir& dir) {
    DamagedFatDisk d;
    const auto vhd = unpackedFixture("fat/" + fixture + ".vhd.xz");
    const auto raw = dir / (fixture + "-noboot.raw");
    if (!haveTool("fsstat") ||
        runCommand("qemu-img convert -f vpc -O raw " + shellQuote(vhd.string()) + " " + shellQuote(raw.string()))
                .exitCode != 0)
        return d;
    const auto stat = runCommand("fsstat -o " + std::to_string(kDamagedVolumeSector) + " " + shellQuote(raw.string()));
    std::smatch m;
    const std::regex fatLine(R"(\* FAT \d+: (\d+) - \d+)");
    for (auto it = std::sregex_iterator(stat.out.begin(), stat.out.end(), fatLine);
         it != std::sregex_iterator(); ++it)
        d.fats.push_back(std::stoll((*it)[1]) * 512);
    if (std::regex_search(stat.out, m, std::regex(R"(Range: 0 - (\d+))"))) d.volumeSectors = std::stoll(m[1]) + 1;
    if (std::regex_search(stat.out, m, std::regex(R"(Cluster Size: (\d+))"))) d.clusterSize = std::stoll(m[1]);
    if (std::regex_search(stat.out, m, std::regex(R"(\* Data Area: (\d+))"))) d.heapOffset = std::stoll(m[1]) * 512;
    const bool exfat = stat.out.find("File System Type: exFAT") != std::string::npos;
    if (exfat && std::regex_search(stat.out, m, std::regex(R"(Cluster Heap: (\d+))")))
        d.heapOffset = std::stoll(m[1]) * 512;
    // FAT12/16: cluster 2 follows the fixed root directory.
    if (std::regex_search(stat.out, m, std::regex(R"(\n\*\* Root Directory: \d+ - (\d+))")))
        d.heapOffset = (std::stoll(m[1]) + 1) * 512;

    std::fstream f(raw, std::ios::in | std::ios::out | std::ios::binary);
    const auto put = [&f](std::int64_t sector, std::int64_t at, const std::string& bytes) {
        f.seekp((kDamagedVolumeSector + sector) * 512 + at);
        f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    };
    const std::string zeros(512, '\0');
    put(0, 0, zeros);
    put(exfat ? 12 : 6, 0, zeros);  // the backup boot sector (FAT32, exFAT)
    if (exfat) put(d.heapOffset / 512, 0, std::string(8, '\xFF'));
    f.close();

    std::ifstream list(fixturePath("fat/" + fixture + ".files"));
    std::string sha, mtime, path;
    while (list >> sha >> mtime && std::getline(list >> std::ws, path)) d.originals[path] = sha;
    d.raw = raw;
    return d;
}

}  // namespace tavrel::test
