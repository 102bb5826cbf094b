// Small NTFS volume images made by real tools for tests that need one oddity:
// mkntfs formats, ntfscp copies files in, and ntfstruncate sets a file's
// length (growing it leaves a sparse run that claims the new length without
// storing it). No mount is needed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace tavrel::test {

struct ToolNtfsFile {
    std::string name;                  // in the root folder
    std::vector<std::uint8_t> content;
    std::int64_t length = -1;          // >= 0: the length set afterwards
};

inline bool haveNtfsTools() {
    return haveTool("mkntfs") && haveTool("ntfscp") && haveTool("ntfstruncate") && haveTool("ntfsinfo");
}

// A volume of `bytes` bytes (a whole number of MiB, at least 1 MiB) at `image`,
// formatted with 4 KiB clusters, holding `files`. False when a tool failed.
inline bool makeToolNtfs(const std::filesystem::path& image, std::int64_t bytes, const std::vector<ToolNtfsFile>& files) {
    const std::string img = shellQuote(image.string());
    if (runCommand("truncate -s " + std::to_string(bytes) + " " + img + " && mkntfs -F -f -q -s 512 -c 4096 " + img)
            .exitCode != 0)
        return false;
    for (const auto& f : files) {
        const auto source = image.parent_path() / ("source-" + f.name);
        writeFileBytes(source, f.content);
        if (runCommand("ntfscp -f " + img + " " + shellQuote(source.string()) + " " + shellQuote(f.name)).exitCode != 0)
            return false;
        std::filesystem::remove(source);
        if (f.length < 0) continue;
        // "Dumping Inode N (0x...)" names the record to change.
        const auto info = runCommand("ntfsinfo -F " + shellQuote("/" + f.name) + " " + img);
        const auto at = info.out.find("Inode ");
        if (info.exitCode != 0 || at == std::string::npos) return false;
        const std::string inode = std::to_string(std::stoll(info.out.substr(at + 6)));
        if (runCommand("ntfstruncate -f " + img + " " + inode + " " + std::to_string(f.length)).exitCode != 0)
            return false;
    }
    return true;
}

}  // namespace tavrel::test
