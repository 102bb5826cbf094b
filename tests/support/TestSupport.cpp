#include "support/TestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <random>
#include <stdexcept>

namespace fsys = std::filesystem;

namespace tavrel::test {

TempDir::TempDir() {
    std::random_device rd;
    const auto base = fsys::temp_directory_path();
    for (int i = 0; i < 100; ++i) {
        auto candidate = base / ("tavrel-test-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
        std::error_code ec;
        if (fsys::create_directory(candidate, ec)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    // Saved files may be read-only; make everything writable before removing.
    for (auto it = fsys::recursive_directory_iterator(path_, ec); !ec && it != fsys::recursive_directory_iterator();
         it.increment(ec)) {
        fsys::permissions(it->path(), fsys::perms::owner_all, fsys::perm_options::add, ec);
    }
    fsys::remove_all(path_, ec);
}

std::string shellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

CommandResult runCommand(const std::string& commandLine) {
    TempDir tmp;
    const auto outPath = tmp / "out";
    const auto errPath = tmp / "err";
    const std::string full = "(" + commandLine + ") >" + shellQuote(outPath.string()) + " 2>" +
                             shellQuote(errPath.string());
    const int status = std::system(full.c_str());
    CommandResult r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    auto slurp = [](const fsys::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    r.out = slurp(outPath);
    r.err = slurp(errPath);
    return r;
}

bool haveTool(const std::string& name) {
    return runCommand("command -v " + shellQuote(name)).exitCode == 0;
}

std::vector<std::uint8_t> readFileBytes(const fsys::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFileBytes(const fsys::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string sha256File(const fsys::path& path) {
    const auto r = runCommand("sha256sum " + shellQuote(path.string()));
    return r.exitCode == 0 ? r.out.substr(0, 64) : std::string();
}

fsys::path fixturePath(const std::string& name) { return fsys::path(TAVREL_SOURCE_DIR) / "tests" / "fixtures" / name; }

fsys::path unpackedFixture(const std::string& xzName) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    const fsys::path cache = fsys::path(TAVREL_BINARY_DIR) / "fixture-cache";
    fsys::create_directories(cache);
    std::string plain = xzName;
    if (plain.size() > 3 && plain.substr(plain.size() - 3) == ".xz") plain.resize(plain.size() - 3);
    const fsys::path target = cache / plain;
    const fsys::path source = fixturePath(xzName);
    fsys::create_directories(target.parent_path());  // names may carry a fixture folder ("fat/x.vhd.xz")
    if (!fsys::exists(target) || fsys::last_write_time(target) < fsys::last_write_time(source)) {
        const auto tmp = cache / (plain + ".part");
        const auto r = runCommand("xz -dc " + shellQuote(source.string()) + " > " + shellQuote(tmp.string()));
        if (r.exitCode != 0) throw std::runtime_error("cannot unpack fixture " + xzName + ": " + r.err);
        fsys::rename(tmp, target);
    }
    return target;
}

std::string cliPath() { return TAVREL_CLI; }

bool formatNtfs(const std::filesystem::path& image, std::int64_t bytes, int clusterSize,
                const std::vector<NtfsFile>& files) {
    if (!haveTool("mkntfs") || !haveTool("ntfscp")) return false;
    if (!std::filesystem::exists(image)) {
        std::ofstream(image, std::ios::binary).close();
        std::filesystem::resize_file(image, static_cast<std::uintmax_t>(bytes));
    }
    const std::string path = shellQuote(image.string());
    if (runCommand("mkntfs -F -Q -q -c " + std::to_string(clusterSize) + " " + path).exitCode != 0) return false;
    for (const NtfsFile& f : files)
        if (runCommand("ntfscp -f " + path + " " + shellQuote(f.host.string()) + " " + shellQuote(f.name)).exitCode != 0)
            return false;
    return true;
}

bool makeReformattedNtfs(const std::filesystem::path& image, std::vector<NtfsFile> older,
                         const std::vector<NtfsFile>& newer) {
    const auto pad = image.parent_path() / "pad.bin";
    writeFileBytes(pad, std::vector<std::uint8_t>(3000000, 0x5A));
    older.insert(older.begin(), {pad, "pad.bin"});
    return formatNtfs(image, 16 << 20, 65536, older) && formatNtfs(image, 16 << 20, 4096, newer);
}

}  // namespace tavrel::test
