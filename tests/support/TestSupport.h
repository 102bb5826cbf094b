// Shared helpers for the tests: temporary folders, running tools, hashing, and
// locating the committed fixtures.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tavrel::test {

// A fresh folder under the system's temp dir, removed on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

struct CommandResult {
    int exitCode = -1;
    std::string out;  // stdout
    std::string err;  // stderr
};

// Runs a shell command line; captures stdout and stderr.
CommandResult runCommand(const std::string& commandLine);

// True when a program is on PATH (tests that need an oracle skip without it).
bool haveTool(const std::string& name);

std::string shellQuote(const std::string& text);

std::vector<std::uint8_t> readFileBytes(const std::filesystem::path& path);
void writeFileBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// Lowercase hex SHA-256 of a file's content.
std::string sha256File(const std::filesystem::path& path);

// Path of a committed fixture under tests/fixtures/.
std::filesystem::path fixturePath(const std::string& name);

// tests/fixtures/<name>.xz decompressed once per process into a cache folder;
// returns the decompressed file's path.
std::filesystem::path unpackedFixture(const std::string& xzName);

// The tavrel-cli binary of this build.
std::string cliPath();

// Quick-formats `image` (created with `bytes` bytes when missing) as NTFS with
// mkntfs and the given cluster size, then copies each host file into the root
// under its name with ntfscp. Formatting an image again leaves what the new
// format does not overwrite, as a real reformat does. False when the tools are
// missing or fail.
struct NtfsFile {
    std::filesystem::path host;
    std::string name;
};
bool formatNtfs(const std::filesystem::path& image, std::int64_t bytes, int clusterSize,
                const std::vector<NtfsFile>& files);

// A 16 MiB volume formatted with 64 KiB clusters and given `older` (its MFT at
// 128 KiB), then formatted again with 4 KiB clusters (its MFT at 16 KiB) and
// given `newer`. A 3 MB "pad.bin" copied in before `older` keeps the older
// files away from the middle of the volume, where the new format writes its log.
bool makeReformattedNtfs(const std::filesystem::path& image, std::vector<NtfsFile> older,
                         const std::vector<NtfsFile>& newer);

}  // namespace tavrel::test
