// The HFS+ parser on forged copies of the fixture, for what the macOS-made
// volume lacks: allocation blocks of 512 bytes to 64 KiB, a catalog whose leaf
// lies past its eighth extent and a file of ten extents (both continued in the
// extents-overflow file), a hard link, and a stale copy of a leaf node holding
// records the tree no longer has. Where The Sleuth Kit can read the forged
// volume, it checks the forge too.
#include <gtest/gtest.h>

#include <functional>

#include "fs/hfsplus/HFSP.h"
#include "fs/hfsplus/HfsFixture.h"
#include "support/HfsForge.h"
#include "support/TestSupport.h"

using namespace tavrel;
using namespace tavrel::test;
using namespace tavrel::test::hfs;

namespace {

struct Expect {
    std::string path;
    std::uint64_t cnid;
    bool deleted;
    std::string sha;  // of the saved content
};

struct CraftedCase {
    const char* name;
    // Forges the volume; returns what must be listed beyond (or instead of) the
    // fixture's entries, which stay listed unless named here.
    std::function<std::vector<Expect>(Bytes&)> forge;
    bool oracleReadable;  // The Sleuth Kit can walk the forged tree
};

std::string sha(const Bytes& content) {
    TempDir dir;
    writeFileBytes(dir / "c", content);
    return sha256File(dir / "c");
}

std::vector<Expect> spreadOverOverflow(Bytes& b) {
    VolumeForge f(b);
    f.spreadCatalog(9, 700);
    std::vector<std::uint32_t> blocks;
    for (std::uint32_t i = 0; i < 10; ++i) blocks.push_back(710 + 2 * i);
    const Bytes content = f.fragmentFile(f.recordOf(701 * f.blockSize(), "a_file"), 19, blocks, 10 * 4096 - 1000);
    f.writeOverflowLeaf();
    return {{"a_directory/a_file", 19, false, sha(content)}};
}

std::vector<Expect> hardLink(Bytes& b) {
    VolumeForge f(b);
    const std::size_t leaf = f.catalogNode(1);
    // another_file becomes the private folder's iNode1234567, passwords.txt a link to it.
    const std::size_t key = f.keyOf(leaf, "another_file");
    putBe(b, key + 2, 16, 4);
    const std::string inode = "iNode1234567";
    for (std::size_t i = 0; i < inode.size(); ++i) putBe(b, key + 8 + 2 * i, static_cast<unsigned char>(inode[i]), 2);
    const std::size_t link = f.recordOf(leaf, "passwords.txt");
    putBe(b, link + 44, 1234567, 4);
    putBe(b, link + 48, 0x686C6E6B, 4);  // "hlnk"
    putBe(b, link + 52, 0x6866732B, 4);  // "hfs+"
    const std::string anotherFile = oracle().at("a_directory/another_file").sha;
    return {{"passwords.txt", 20, false, anotherFile}, {"^^^^HFS+ Private Data/iNode1234567", 21, false, anotherFile}};
}

std::vector<Expect> staleLeaf(Bytes& b) {
    VolumeForge f(b);
    const std::size_t stale = f.catalogNode(3);
    std::copy_n(b.begin() + static_cast<std::ptrdiff_t>(f.catalogNode(1)), 4096, b.begin() + static_cast<std::ptrdiff_t>(stale));
    putBe(b, f.recordOf(stale, "passwords.txt") + 8, 99, 4);
    putBe(b, f.recordOf(stale, "a_file") + 8, 98, 4);
    putBe(b, f.keyOf(stale, "a_file") + 2, 9999, 4);  // a parent that no longer exists
    const auto o = oracle();
    return {{"passwords.txt#99", 99, true, o.at("passwords.txt").sha},
            {"ORPHAN_ENTRY/a_file#98", 98, true, o.at("a_directory/a_file").sha}};
}

std::vector<Expect> blocksOf(std::uint32_t size, Bytes& b) {
    VolumeForge(b).rescale(size);
    return {};
}

const CraftedCase kCases[] = {
    {"blocks_of_512_bytes", [](Bytes& b) { return blocksOf(512, b); }, true},
    {"blocks_of_8_kib", [](Bytes& b) { return blocksOf(8192, b); }, true},
    {"blocks_of_64_kib_with_smaller_nodes", [](Bytes& b) { return blocksOf(65536, b); }, true},
    {"catalog_and_file_continue_in_the_overflow_file", spreadOverOverflow, true},
    {"hard_link_saves_the_linked_content", hardLink, false},
    {"stale_leaf_records_are_deleted_entries", staleLeaf, true},
};

class HfsCrafted : public ::testing::TestWithParam<CraftedCase> {};

TEST_P(HfsCrafted, ListsAndSavesTheForgedRecords) {
    Bytes bytes = volumeBytes();
    const std::vector<Expect> forged = GetParam().forge(bytes);
    std::map<std::string, Expect> expected;
    for (const auto& [path, o] : oracle())
        if (o.type != 'd') expected[path] = {path, o.cnid, false, o.sha};
    for (const Expect& e : forged) {
        std::erase_if(expected, [&](const auto& kv) { return kv.second.cnid == e.cnid; });
        expected[e.path] = e;
    }

    MemoryImage image(bytes);
    const VolumeView view(image, 0);
    for (const auto mode : {fs::RecoveryMode::Standard, fs::RecoveryMode::Deep}) {
        SCOPED_TRACE(mode == fs::RecoveryMode::Deep ? "deep" : "standard");
        fs::HFSP parser(view, fs::ScanOptions{mode});
        WorkControl work;
        ASSERT_EQ(parser.scan(work).result, fs::ScanResult::Done);
        const auto listed = listedPaths(parser);
        std::vector<fs::EntryRef> files;
        for (const auto& [path, e] : expected) {
            SCOPED_TRACE(path);
            ASSERT_EQ(listed.count(path), 1u);
            EXPECT_EQ(listed.at(path), e.cnid);
            EXPECT_EQ(parser.isDeleted(e.cnid), e.deleted);
            files.push_back(e.cnid);
        }
        const auto saved = savedShas(parser, files);
        for (const auto& [path, e] : expected) EXPECT_EQ(saved.at(e.cnid), e.sha) << path;
        EXPECT_EQ(parser.warnings().total(), 0);
    }

    // The Sleuth Kit reads the forged volume the same way.
    if (!GetParam().oracleReadable || !haveTool("icat") || !haveTool("fls")) return;
    TempDir dir;
    const std::string raw = (dir / "v.raw").string();
    writeFileBytes(raw, bytes);
    const auto fls = runCommand("fls -r -p -f hfs " + shellQuote(raw));
    std::vector<std::uint64_t> live;
    for (const auto& [path, e] : expected) {
        if (e.deleted) continue;
        EXPECT_NE(fls.out.find(std::to_string(e.cnid) + ":\t" + path + "\n"), std::string::npos) << path << fls.out;
        live.push_back(e.cnid);
    }
    const auto icat = icatShas(raw, live);
    for (const auto& [path, e] : expected) {
        if (!e.deleted) {
            EXPECT_EQ(icat.at(e.cnid), e.sha) << path;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Forged, HfsCrafted, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
