// One on-disk field of the ext4 fixture damaged per case: the scan still ends
// with a tree, the damage is counted, and what the field did not touch is
// still listed and saved.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "fs/ext/ext2Class.h"
#include "image/FileReadSeekVHD.h"
#include "support/TestSupport.h"

using namespace tavrel;
using namespace tavrel::test;

namespace {

constexpr std::int64_t kStart = 2048 * 512;

// Reads through `inner` with some bytes of the disk replaced.
class PatchedReader : public readWriteInterface {
public:
    PatchedReader(const readWriteInterface& inner, std::map<std::int64_t, std::uint8_t> bytes)
        : inner_(inner), bytes_(std::move(bytes)) {}
    bool open(std::string) override { return true; }
    std::int64_t diskSize() const override { return inner_.diskSize(); }
    bool readAt(std::int64_t offset, MutableByteSpan out) const override {
        const bool ok = inner_.readAt(offset, out);
        const auto end = offset + static_cast<std::int64_t>(out.size());
        for (auto it = bytes_.lower_bound(offset); it != bytes_.end() && it->first < end; ++it)
            out[static_cast<std::size_t>(it->first - offset)] = it->second;
        return ok;
    }

private:
    const readWriteInterface& inner_;
    std::map<std::int64_t, std::uint8_t> bytes_;
};

class NullSink : public fs::ByteSink {
public:
    bool write(ByteSpan) override { return true; }
};

struct Scanned {
    std::unique_ptr<VolumeView> view;
    std::unique_ptr<fs::ext2Class> parser;
    std::map<std::string, fs::EntryRef> paths;
};

Scanned scan(const readWriteInterface& reader) {
    Scanned s;
    s.view = std::make_unique<VolumeView>(reader, 2048, 49152);
    s.parser = std::make_unique<fs::ext2Class>(*s.view, fs::ScanOptions{});
    WorkControl work;
    EXPECT_TRUE(s.parser->scan(work));
    std::vector<std::pair<fs::EntryRef, std::string>> stack;
    for (auto e : s.parser->rootLevel()) stack.emplace_back(e, s.parser->name(e));
    while (!stack.empty()) {
        const auto [e, path] = stack.back();
        stack.pop_back();
        s.paths[path] = e;
        for (auto c : s.parser->children(e)) stack.emplace_back(c, path + "/" + s.parser->name(c));
    }
    return s;
}

struct DamageCase {
    const char* what;
    // The disk bytes to change, found from a clean scan.
    std::map<std::int64_t, std::uint8_t> (*patch)(const Scanned& clean);
    const char* lost;  // a path the damage takes away, or nullptr
    const char* kept;  // a path still there and saved whole
};

std::int64_t inodeAt(const Scanned& s, const std::string& path) {
    const auto& sb = s.parser->superblock();
    const std::uint32_t n = s.parser->entries()[s.paths.at(path)].inode;
    const auto& g = s.parser->groups()[(n - 1) / sb.inodesPerGroup];
    return kStart + static_cast<std::int64_t>(g.inodeTable) * sb.blockSize() +
           static_cast<std::int64_t>((n - 1) % sb.inodesPerGroup) * sb.inodeSize;
}

// The first data block of a folder with extents in its inode.
std::int64_t firstBlockOf(const Scanned& s, const std::string& path) {
    const auto inode = s.parser->loadInode(s.parser->entries()[s.paths.at(path)].inode);
    const auto& map = inode->blockMap;
    const std::uint64_t block = le32(map, 20) | (std::uint64_t{le16(map, 18)} << 32);
    return kStart + static_cast<std::int64_t>(block) * s.parser->superblock().blockSize();
}

const DamageCase kCases[] = {
    {"extent header magic of a file",
     [](const Scanned& s) { return std::map<std::int64_t, std::uint8_t>{{inodeAt(s, "large.bin") + 40, 0}}; },
     nullptr, "docs/guide.txt"},
    {"rec_len of a folder's first entry past its block",
     [](const Scanned& s) {
         const std::int64_t at = firstBlockOf(s, "docs/deep");
         return std::map<std::int64_t, std::uint8_t>{{at + 4, 0xFC}, {at + 5, 0xFF}};
     },
     "docs/deep/deeper", "docs/guide.txt"},
    {"extent tree depth of a folder beyond 5",
     [](const Scanned& s) { return std::map<std::int64_t, std::uint8_t>{{inodeAt(s, "docs") + 46, 9}}; },
     "docs/guide.txt", "README"},
};

class ExtDamage : public ::testing::TestWithParam<DamageCase> {};

TEST_P(ExtDamage, IsCountedAndTheRestStillReads) {
    FileReadSeekVHD vhd;
    ASSERT_TRUE(vhd.open(unpackedFixture("ext/ext4.vhd.xz").string()));
    const Scanned clean = scan(vhd);
    ASSERT_EQ(clean.parser->warnings().total(), 0);
    PatchedReader patched(vhd, GetParam().patch(clean));
    Scanned damaged = scan(patched);
    WorkControl work;
    for (const auto& [path, e] : damaged.paths) {
        NullSink sink;
        damaged.parser->saveFile(e, sink, work);
    }
    EXPECT_GT(damaged.parser->warnings().damagedRecords(), 0);
    if (GetParam().lost) {
        EXPECT_FALSE(damaged.paths.count(GetParam().lost));
    }
    ASSERT_TRUE(damaged.paths.count(GetParam().kept));
    NullSink sink;
    EXPECT_TRUE(damaged.parser->saveFile(damaged.paths.at(GetParam().kept), sink, work));
}

INSTANTIATE_TEST_SUITE_P(Fields, ExtDamage, ::testing::ValuesIn(kCases), [](const auto& info) {
    return "case" + std::to_string(info.index);
});

}  // namespace
