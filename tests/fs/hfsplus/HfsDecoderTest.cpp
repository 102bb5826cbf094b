// Decoders of the HFS+ volume header and catalog records, fed from byte arrays:
// one field changed per case from a sound record (tests/support/HfsRecords.h).
#include <gtest/gtest.h>

#include "fs/hfsplus/HfsFormat.h"
#include "support/HfsRecords.h"

using namespace tavrel::fs::hfsplus;
using tavrel::test::ByteWriter;
namespace rec = tavrel::test::hfs;

namespace {
using Edit = void (*)(ByteWriter&);
}  // namespace

TEST(HfsVolumeHeader, SignatureAndBlockSizeDecideWhetherItIsUsable) {
    struct Case {
        const char* what;
        Edit edit;
        bool usable;
        bool hfsx;
    };
    const Case cases[] = {
        {"HFS+", [](ByteWriter&) {}, true, false},
        {"HFSX", [](ByteWriter& w) { w.be16(rec::kHeaderSignature, 0x4858); }, true, true},
        {"plain HFS signature", [](ByteWriter& w) { w.be16(rec::kHeaderSignature, 0x4244); }, false, false},
        {"no signature", [](ByteWriter& w) { w.be16(rec::kHeaderSignature, 0); }, false, false},
        {"blocks of 512 bytes", [](ByteWriter& w) { w.be32(rec::kHeaderBlockSize, 512); }, true, false},
        {"blocks of 64 KiB", [](ByteWriter& w) { w.be32(rec::kHeaderBlockSize, 65536); }, true, false},
        {"blocks of 0 bytes", [](ByteWriter& w) { w.be32(rec::kHeaderBlockSize, 0); }, false, false},
        {"blocks of 256 bytes", [](ByteWriter& w) { w.be32(rec::kHeaderBlockSize, 256); }, false, false},
        {"blocks of 3000 bytes", [](ByteWriter& w) { w.be32(rec::kHeaderBlockSize, 3000); }, false, false},
        {"blocks of 128 KiB", [](ByteWriter& w) { w.be32(rec::kHeaderBlockSize, 131072); }, false, false},
    };
    for (const Case& c : cases) {
        ByteWriter w = rec::volumeHeaderBytes();
        c.edit(w);
        const auto h = decodeVolumeHeader(w.span());
        ASSERT_TRUE(h) << c.what;
        EXPECT_EQ(usableVolumeHeader(*h), c.usable) << c.what;
        EXPECT_EQ(h->hfsx, c.hfsx) << c.what;
    }
    EXPECT_FALSE(decodeVolumeHeader(rec::volumeHeaderBytes().span().first(511))) << "short";
}

TEST(HfsVolumeHeader, SizesAndForksDecoded) {
    const auto h = decodeVolumeHeader(rec::volumeHeaderBytes().span());
    ASSERT_TRUE(h);
    EXPECT_EQ(h->blockSize, 4096u);
    EXPECT_EQ(h->totalBlocks, 1000u);
    EXPECT_EQ(h->nextCatalogId, 100u);
    EXPECT_EQ(h->extentsFile.logicalSize, 8192u);
    EXPECT_EQ(h->extentsFile.extents[0].startBlock, 10u);
    EXPECT_EQ(h->catalogFile.logicalSize, 65536u);
    EXPECT_EQ(h->catalogFile.totalBlocks, 16u);
    EXPECT_EQ(h->catalogFile.extents[0].blockCount, 8u);
    EXPECT_EQ(h->catalogFile.extents[7].startBlock, 40u);  // the last of the eight
}

TEST(HfsCatalogRecord, KeyAndRecordFieldsCheckedOneAtATime) {
    constexpr std::size_t kData = rec::leafData(5);  // "a.txt"
    struct Case {
        const char* what;
        Edit edit;
        std::size_t length;  // of the node handed to the decoder (0: all 512 bytes)
        bool decoded;
        bool hardLink;
    };
    const Case cases[] = {
        {"sound", [](ByteWriter&) {}, 0, true, false},
        {"hard link",
         [](ByteWriter& w) {
             w.be32(kData + rec::kRecordFileType, 0x686C6E6B).be32(kData + rec::kRecordCreator, 0x6866732B);
         },
         0, true, true},
        {"name of no units", [](ByteWriter& w) { w.be16(rec::kLeafKey + 6, 0); }, 0, false, false},
        {"name over 255 units", [](ByteWriter& w) { w.be16(rec::kLeafKey + 6, 256); }, 0, false, false},
        {"key shorter than its name", [](ByteWriter& w) { w.be16(rec::kLeafKey, 15); }, 0, false, false},
        {"thread record", [](ByteWriter& w) { w.be16(kData, 4); }, 0, false, false},
        {"no record type", [](ByteWriter& w) { w.be16(kData, 0); }, 0, false, false},
        {"file record past the node's end", [](ByteWriter&) {}, kData + 247, false, false},
        {"name past the node's end", [](ByteWriter&) {}, rec::kLeafKey + 12, false, false},
    };
    for (const Case& c : cases) {
        ByteWriter w = rec::catalogLeafBytes(true, u"a.txt");
        c.edit(w);
        const auto r = decodeCatalogRecord(w.span().first(c.length ? c.length : w.size()), rec::kLeafKey);
        ASSERT_EQ(r.has_value(), c.decoded) << c.what;
        if (!r) continue;
        EXPECT_EQ(r->type, CatalogType::File) << c.what;
        EXPECT_EQ(r->parentId, 2u) << c.what;
        EXPECT_EQ(r->name, u"a.txt") << c.what;
        EXPECT_EQ(r->cnid, 20u) << c.what;
        EXPECT_EQ(r->createDate, 3725003982u) << c.what;
        EXPECT_EQ(r->fileMode, 0100644) << c.what;
        EXPECT_EQ(r->dataFork.logicalSize, 5000u) << c.what;
        EXPECT_EQ(r->dataFork.extents[0].startBlock, 50u) << c.what;
        EXPECT_EQ(r->hardLink(), c.hardLink) << c.what;
    }
    // A folder record is 88 bytes and has no fork; past the node there is nothing.
    const ByteWriter folder = rec::catalogLeafBytes(false, u"Docs");
    const auto f = decodeCatalogRecord(folder.span().first(rec::leafData(4) + 88), rec::kLeafKey);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->type, CatalogType::Folder);
    EXPECT_EQ(f->name, u"Docs");
    EXPECT_EQ(f->dataFork.logicalSize, 0u);
    EXPECT_FALSE(decodeCatalogRecord(folder.span(), 600));
}
