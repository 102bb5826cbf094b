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

}  // namespace tavrel::test
