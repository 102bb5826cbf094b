// Helpers for the tavrel-cli end-to-end tests: running the CLI, reading the
// fixtures' oracle files, and listing what a recover wrote.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/TestSupport.h"

namespace tavrel::test {

inline CommandResult cli(const std::string& args) { return runCommand(shellQuote(cliPath()) + " " + args); }

inline std::string q(const std::filesystem::path& p) { return shellQuote(p.string()); }

// Every line of a `--json` output parsed on its own (each must be one JSON
// value; a line that is not throws, failing the test).
inline std::vector<nlohmann::json> jsonLines(const std::string& out) {
    std::vector<nlohmann::json> lines;
    std::size_t at = 0;
    while (at < out.size()) {
        const auto end = out.find('\n', at);
        const std::string line = out.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? out.size() : end + 1;
        if (!line.empty()) lines.push_back(nlohmann::json::parse(line));
    }
    return lines;
}

// `tavrel-cli carve --json --out` of the first volume of disk: the SHA-256 of
// every file written, keyed by its extension. Empty (and the test failed) when
// the carve fails.
inline std::multimap<std::string, std::string> carvedHashes(const std::filesystem::path& disk,
                                                            const std::filesystem::path& out) {
    std::multimap<std::string, std::string> carved;
    const auto r = cli("carve " + q(disk) + " --volume 0 --json --out " + q(out));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    for (const auto& line : jsonLines(r.out)) {
        if (!line.contains("path")) continue;
        const std::string name = line["name"].get<std::string>();
        carved.emplace(name.substr(name.rfind('.') + 1), sha256File(line["path"].get<std::string>()));
    }
    return carved;
}

// The entry lines of `tavrel-cli ls --json`, keyed by path (a path that occurs
// twice, as a deleted and a live entry, keeps both in order). A closing
// {"warnings": ...} line is not an entry.
inline std::multimap<std::string, nlohmann::json> parseLsJson(const std::string& out) {
    std::multimap<std::string, nlohmann::json> rows;
    for (auto& j : jsonLines(out))
        if (j.contains("path")) rows.emplace(j.at("path").get<std::string>(), std::move(j));
    return rows;
}

// A raw copy of a VHD made by qemu-img, once per image and test process, for
// The Sleuth Kit's tools; empty when qemu-img is missing or fails.
inline std::filesystem::path rawCopy(const std::filesystem::path& vhd) {
    static TempDir dir;
    static std::map<std::string, std::filesystem::path> made;
    const auto it = made.find(vhd.string());
    if (it != made.end()) return it->second;
    const auto raw = dir / (std::to_string(made.size()) + ".raw");
    const auto r = runCommand("qemu-img convert -O raw " + shellQuote(vhd.string()) + " " + shellQuote(raw.string()));
    return made[vhd.string()] = r.exitCode == 0 ? raw : std::filesystem::path();
}

// Regular files below root, relative paths (links not followed).
inline std::vector<std::string> filesBelow(const std::filesystem::path& root) {
    std::vector<std::string> out;
    for (auto it = std::filesystem::recursive_directory_iterator(root);
         it != std::filesystem::recursive_directory_iterator(); ++it) {
        if (it->is_regular_file() && !it->is_symlink()) out.push_back(it->path().lexically_relative(root).string());
    }
    return out;
}

// SHA-256 of every regular file below root by relative path, from one
// sha256sum run (much faster than one process per file).
inline std::map<std::string, std::string> hashesBelow(const std::filesystem::path& root) {
    std::map<std::string, std::string> out;
    const auto r = runCommand("cd " + shellQuote(root.string()) +
                              " && find . -type f -print0 | xargs -0 -r sha256sum");
    std::size_t at = 0;
    while (at < r.out.size()) {
        auto end = r.out.find('\n', at);
        if (end == std::string::npos) end = r.out.size();
        const std::string line = r.out.substr(at, end - at);
        at = end + 1;
        // "<64 hex>  ./<path>"
        if (line.size() > 68 && line.compare(64, 4, "  ./") == 0) out[line.substr(68)] = line.substr(0, 64);
    }
    return out;
}

struct OracleRow {
    char kind = 'r';  // 'd' or 'r'
    bool deleted = false;
    std::string sha;  // "-" for folders
    std::string path;
};

// An NTFS fixture's oracle listing (fls paths, icat hashes):
// "kind<TAB>deleted<TAB>record<TAB>sha256<TAB>path" per line.
inline std::vector<OracleRow> readOracle(const std::string& fixture) {
    std::vector<OracleRow> rows;
    std::ifstream in(fixturePath("ntfs/" + fixture + ".expected"));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        std::string kind, deleted, record;
        OracleRow r;
        if (!std::getline(f, kind, '\t') || !std::getline(f, deleted, '\t') || !std::getline(f, record, '\t') ||
            !std::getline(f, r.sha, '\t') || !std::getline(f, r.path))
            continue;
        r.kind = kind.empty() ? '?' : kind[0];
        r.deleted = deleted == "1";
        rows.push_back(std::move(r));
    }
    return rows;
}

// The fixture names (without extension) in tests/fixtures/<dir> that carry a
// file with the given extension.
inline std::vector<std::string> fixturesWith(const std::string& dir, const std::string& ext) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(fixturePath(dir), ec)) {
        const auto name = e.path().filename().string();
        if (name.size() > ext.size() && name.compare(name.size() - ext.size(), ext.size(), ext) == 0 &&
            std::filesystem::exists(fixturePath(dir + "/" + name.substr(0, name.size() - ext.size()) + ".vhd.xz")))
            names.push_back(name.substr(0, name.size() - ext.size()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace tavrel::test
