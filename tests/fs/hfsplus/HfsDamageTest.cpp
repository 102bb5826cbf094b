// The HFS+ parser on the fixture volume with one structure forged per case:
// each scan ends with the expected outcome and text, and what it lists walks
// and saves without reading outside its buffers.
#include <gtest/gtest.h>

#include <functional>

#include "fs/hfsplus/HFSP.h"
#include "fs/hfsplus/HfsFixture.h"
#include "util/Bytes.h"

using namespace tavrel;
using namespace tavrel::test::hfs;

namespace {

using Bytes = std::vector<std::uint8_t>;

void putBe(Bytes& b, std::size_t at, std::uint64_t value, int width) {
    for (int i = width - 1; i >= 0; --i, value >>= 8) b.at(at + static_cast<std::size_t>(i)) = value & 0xFF;
}

// A volume header field in both copies: at byte 1024 and 1024 bytes before the end.
void putHeaders(Bytes& b, std::size_t field, std::uint64_t value, int width) {
    putBe(b, 1024 + field, value, width);
    putBe(b, b.size() - 1024 + field, value, width);
}

// Where the fixture keeps its B-trees (block size 4096).
struct Layout {
    std::size_t catalog = 0;    // byte offset of the catalog file (its node 0)
    std::size_t extents = 0;    // ... of the extents-overflow file
    std::size_t nodeSize = 0;   // catalog node size
    std::size_t firstLeaf = 0;  // byte offset of the catalog's first leaf node
};

Layout layoutOf(const Bytes& b) {
    Layout l;
    const std::uint32_t block = be32(b, 1024 + 40);
    l.catalog = std::size_t{be32(b, 1024 + 288)} * block;
    l.extents = std::size_t{be32(b, 1024 + 208)} * block;
    l.nodeSize = be16(b, l.catalog + 32);
    l.firstLeaf = l.catalog + be32(b, l.catalog + 24) * l.nodeSize;
    return l;
}

struct DamageCase {
    const char* name;
    std::function<void(Bytes&, const Layout&)> forge;
    fs::ScanResult standard;  // outcome in the standard mode
    fs::ScanResult deep;      // ... and in the leaf-node scan
    const char* text;         // the outcome's text when a mode fails
    const char* deepText = nullptr;
};

const char* const kBadBlock = fs::HFSP::kBadBlockSizeText;
const char* const kAborted = fs::HFSP::kAbortedText;
constexpr auto kDone = fs::ScanResult::Done;
constexpr auto kDamaged = fs::ScanResult::Damaged;

// A bad block size in both headers ends the standard mode; the leaf-node scan
// finds the catalog and learns the block size without them. A bad one in the
// first header only is mended by the alternate header.
const DamageCase kCases[] = {
    {"block_size_3000", [](Bytes& b, const Layout&) { putHeaders(b, 40, 3000, 4); }, kDamaged, kDone, kBadBlock},
    {"block_size_0", [](Bytes& b, const Layout&) { putHeaders(b, 40, 0, 4); }, kDamaged, kDone, kBadBlock},
    {"block_size_128k", [](Bytes& b, const Layout&) { putHeaders(b, 40, 131072, 4); }, kDamaged, kDone, kBadBlock},
    {"first_header_block_size_0", [](Bytes& b, const Layout&) { putBe(b, 1024 + 40, 0, 4); }, kDone, kDone, nullptr},
    {"catalog_node_size_100", [](Bytes& b, const Layout& l) { putBe(b, l.catalog + 32, 100, 2); }, kDamaged,
     kDamaged, kAborted, fs::HFSP::kBadNodeSizeText},
    {"extents_header_not_a_header", [](Bytes& b, const Layout& l) { b[l.extents + 8] = 0x7F; }, kDamaged, kDone,
     kAborted},
    {"record_offsets_past_the_node",
     [](Bytes& b, const Layout& l) {
         for (std::size_t i = 1; i <= be16(b, l.firstLeaf + 10); ++i) putBe(b, l.firstLeaf + l.nodeSize - 2 * i, 0xFFF0, 2);
     },
     kDone, kDone, nullptr},
    {"record_count_past_the_node", [](Bytes& b, const Layout& l) { putBe(b, l.firstLeaf + 10, 0xFFFF, 2); }, kDone,
     kDone, nullptr},
    {"key_length_past_the_node",
     [](Bytes& b, const Layout& l) { putBe(b, l.firstLeaf + be16(b, l.firstLeaf + l.nodeSize - 2), 0xFFFF, 2); },
     kDone, kDone, nullptr},
    {"total_nodes_past_the_file", [](Bytes& b, const Layout& l) { putBe(b, l.catalog + 36, 0xFFFFFFFF, 4); }, kDone,
     kDone, nullptr},
    {"leaf_chain_loops", [](Bytes& b, const Layout& l) { putBe(b, l.firstLeaf, be32(b, l.catalog + 24), 4); }, kDone,
     kDone, nullptr},
    // The leaf-node scan finds the catalog's header node in the volume.
    {"catalog_extent_past_the_volume", [](Bytes& b, const Layout&) { putHeaders(b, 288, 0x7FFFFFFF, 4); }, kDamaged,
     kDone, kAborted},
};

class HfsDamage : public ::testing::TestWithParam<DamageCase> {};

TEST_P(HfsDamage, EndsCleanly) {
    Bytes bytes = volumeBytes();
    GetParam().forge(bytes, layoutOf(bytes));
    MemoryImage image(std::move(bytes));
    const VolumeView view(image, 0);
    for (const auto mode : {fs::RecoveryMode::Standard, fs::RecoveryMode::Deep}) {
        const bool deep = mode == fs::RecoveryMode::Deep;
        SCOPED_TRACE(deep ? "deep" : "standard");
        fs::HFSP parser(view, fs::ScanOptions{mode});
        WorkControl work;
        const fs::ScanOutcome outcome = parser.scan(work);
        ASSERT_EQ(outcome.result, deep ? GetParam().deep : GetParam().standard) << outcome.text;
        if (!outcome.ok()) {
            EXPECT_EQ(outcome.text, deep && GetParam().deepText ? GetParam().deepText : GetParam().text);
            continue;
        }
        std::vector<fs::EntryRef> files;
        for (const auto& [path, e] : parserPaths(parser))
            if (!parser.isFolder(e)) files.push_back(e);
        savedShas(parser, files);
    }
}

INSTANTIATE_TEST_SUITE_P(Forged, HfsDamage, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
