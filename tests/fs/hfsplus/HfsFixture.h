// The macOS-made HFS+ volume of tests/fixtures/hfsplus and what The Sleuth Kit
// says of it (fls listing, icat hashes), plus the parser's view of it as paths,
// for comparing the two.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "fs/Parser.h"
#include "image/MemoryImage.h"

namespace tavrel::test::hfs {

inline constexpr const char* kFixture = "hfsplus/hfsplus-macos.raw.xz";

// One fls line: 'd', 'r' or 'l', the CNID and the path (control characters
// shown as '^', as fls shows them). Metadata files ("$...") are left out: they
// have no catalog record.
struct OracleEntry {
    char type = 0;
    std::uint64_t cnid = 0;
    std::string sha;  // icat's SHA-256 of the content (files and links)
};
std::map<std::string, OracleEntry> oracle();

// The fixture volume's bytes.
std::vector<std::uint8_t> volumeBytes();

// Every entry reachable from the parser's root level, by path (control
// characters as '^'), walked depth-first with a bound on the number of entries.
std::map<std::string, fs::EntryRef> parserPaths(const fs::Parser& p, std::size_t bound = 100000);

// The same walk without a bound, deleted entries carrying a "#cnid" suffix.
std::map<std::string, fs::EntryRef> listedPaths(const fs::Parser& p);

// `fls -r -p -f hfs` of a raw volume: path (control characters as '^') to
// CNID, metadata files left out; empty when The Sleuth Kit is not installed.
std::map<std::string, std::uint64_t> flsPaths(const std::string& rawVolume);

// SHA-256 of what saveFile writes for each entry ("save failed" when it
// returns false), from one sha256sum run.
std::map<fs::EntryRef, std::string> savedShas(fs::Parser& p, const std::vector<fs::EntryRef>& entries);

// SHA-256 of each of these contents, from one sha256sum run.
std::vector<std::string> contentShas(const std::vector<std::vector<std::uint8_t>>& contents);

// SHA-256 of what `icat -f hfs` gives for each CNID of a raw volume, from one
// shell run; empty when The Sleuth Kit is not installed.
std::map<std::uint64_t, std::string> icatShas(const std::string& rawVolume, const std::vector<std::uint64_t>& cnids);

}  // namespace tavrel::test::hfs
