// Helpers shared by the NTFS fixture tests: opening a committed image, walking
// the parser's tree into paths, saving an entry, and the oracle listing.
#pragma once

#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fs/ntfs/ntfs.h"
#include "image/FileReadSeekVHD.h"
#include "image/MemoryImage.h"
#include "support/TestSupport.h"

namespace tavrel::test::ntfsfx {

struct ExpectedRow {
    char kind = 'r';
    bool deleted = false;
    std::string record;
    std::string sha;
    std::string path;
};

struct Image {
    std::unique_ptr<FileReadSeekVHD> vhd;
    std::int64_t startSector = 0;
    std::filesystem::path vhdPath;
};

Image openFixture(const std::string& name);

// A test name for a fixture: "ntfs-mftsplit" -> "Mftsplit".
std::string fixtureTestName(const std::string& name);

// The volume's bytes in memory, for tests that damage them.
std::unique_ptr<MemoryImage> volumeCopy(const Image& image);

// Every entry reachable from the root level, by path ("a/b/c.txt"; orphans
// under "ORPHAN_ENTRY/"). The walk is bounded in depth and in count.
std::map<std::string, fs::EntryRef> treePaths(const fs::ntfs& parser);

// The expected listing: from the oracle run on the image now when The Sleuth Kit,
// qemu-img and python3 are there, else the committed one.
std::vector<ExpectedRow> expectedListing(const std::string& name, const Image& image, bool* live = nullptr);

// SHA-256 of what saveFile writes; empty when saveFile failed.
std::string savedHash(fs::ntfs& parser, fs::EntryRef e);

class FileSink final : public fs::ByteSink {
public:
    explicit FileSink(const std::filesystem::path& path) : out_(path, std::ios::binary) {}
    bool write(ByteSpan bytes) override {
        out_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return static_cast<bool>(out_);
    }
    void close() { out_.close(); }

private:
    std::ofstream out_;
};

}  // namespace tavrel::test::ntfsfx
