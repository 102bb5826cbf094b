// The VHD, VDI and VMDK header decoders, fed from byte arrays: each field comes
// from its offset in its byte order, and each damaged field is named by offset.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "image/VdiFormat.h"
#include "image/VhdFormat.h"
#include "image/VmdkFormat.h"
#include "support/ByteWriter.h"

using namespace tavrel;
using tavrel::test::ByteWriter;

namespace {

// A sound dynamic VHD footer (big-endian) for a 64 MiB disk.
ByteWriter vhdFooter() {
    ByteWriter w(kVhdFooterSize);
    w.ascii(0, "conectix").be32(0x08, 2).be32(0x0C, 0x00010000).be64(0x10, 512).be32(0x18, 0x1234);
    w.be64(0x28, 64u << 20).be64(0x30, 65u << 20).be16(0x38, 130).u8(0x3A, 16).u8(0x3B, 63).be32(0x3C, 3);
    return w;
}

// A sound VDI 1.1 header: 16 MiB in 16 blocks of 1 MiB, map at 512, data at 1 MiB.
ByteWriter vdiHeader() {
    ByteWriter w(kVdiHeaderBytes);
    w.le32(0x40, kVdiSignature).le32(0x44, 0x00010001).le32(0x48, 400).le32(0x4C, 1);
    w.le32(0x154, 512).le32(0x158, 1048576).le32(0x15C, 32).le32(0x160, 16).le32(0x164, 63);
    w.le64(0x170, 16u << 20).le32(0x178, 1048576).le32(0x17C, 0).le32(0x180, 16).le32(0x184, 3);
    return w;
}

// A sound monolithic sparse VMDK header: 4 MiB of 64 KiB grains, directory at sector 21.
ByteWriter vmdkHeader() {
    ByteWriter w(kVmdkHeaderSize);
    w.le32(0x00, kVmdkMagic).le32(0x04, 1).le32(0x08, 3).le64(0x0C, 8192).le64(0x14, 128);
    w.le64(0x1C, 1).le64(0x24, 20).le32(0x2C, 512).le64(0x30, 22).le64(0x38, 21).le64(0x40, 128);
    return w;
}

constexpr std::int64_t kFileLength = 4 << 20;

}  // namespace

TEST(ImageDecoders, VhdFooterFieldsAreBigEndianAtTheirOffsets) {
    ByteWriter w = vhdFooter();
    auto f = decodeVhdFooter(w.span());
    ASSERT_TRUE(f);
    EXPECT_TRUE(f->hasCookie);
    EXPECT_EQ(f->features, 2u);
    EXPECT_EQ(f->formatVersion, 0x00010000u);
    EXPECT_EQ(f->dataOffset, 512u);
    EXPECT_EQ(f->timeStamp, 0x1234u);
    EXPECT_EQ(f->originalSize, 64u << 20);
    EXPECT_EQ(f->currentSize, 65u << 20);
    EXPECT_EQ(f->cylinders, 130);
    EXPECT_EQ(f->heads, 16);
    EXPECT_EQ(f->sectorsPerTrack, 63);
    EXPECT_EQ(f->diskType, 3u);
    EXPECT_FALSE(decodeVhdFooter(w.span().first(kVhdFooterSize - 1)));
    // One changed cookie byte is no footer; the fields still decode as they are.
    w.u8(7, 'Y');
    f = decodeVhdFooter(w.span());
    ASSERT_TRUE(f);
    EXPECT_FALSE(f->hasCookie);
    EXPECT_EQ(f->currentSize, 65u << 20);

    ByteWriter h(kVhdDynamicHeaderSize);
    h.ascii(0, "cxsparse").be64(0x08, ~0ull).be64(0x10, 1536).be32(0x1C, 32).be32(0x20, 2u << 20);
    h.be16(0x40, 'p').be16(0x42, 0x00E9).be16(0x44, '.').be16(0x46, 'v');
    const auto header = decodeVhdDynamicHeader(h.span());
    ASSERT_TRUE(header);
    EXPECT_TRUE(header->hasCookie);
    EXPECT_EQ(header->tableOffset, 1536u);
    EXPECT_EQ(header->maxTableEntries, 32u);
    EXPECT_EQ(header->blockSize, 2u << 20);
    EXPECT_EQ(header->parentName, "p\xC3\xA9.v");
    EXPECT_FALSE(decodeVhdDynamicHeader(h.span().first(kVhdDynamicHeaderSize - 1)));
}

TEST(ImageDecoders, VdiHeaderNamesTheDamagedField) {
    const auto sound = decodeVdiHeader(vdiHeader().span());
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->version, 0x00010001u);
    EXPECT_EQ(sound->cylinders, 32u);
    EXPECT_EQ(sound->diskSize, 16u << 20);
    EXPECT_EQ(sound->blocks, 16u);
    EXPECT_EQ(sound->allocatedBlocks, 3u);
    EXPECT_FALSE(vdiHeaderProblem(*sound, kFileLength));
    EXPECT_FALSE(decodeVdiHeader(vdiHeader().span().first(kVdiHeaderBytes - 1)));
    struct Case {
        const char* what;
        std::function<void(ByteWriter&)> damage;
        std::int64_t field;
        OpenResult result = OpenResult::Damaged;
    };
    const std::vector<Case> cases = {
        {"signature", [](ByteWriter& w) { w.le32(0x40, 0xBEDA1070); }, 0x40},
        {"version 2.0", [](ByteWriter& w) { w.le32(0x44, 0x00020000); }, 0x44, OpenResult::Unsupported},
        {"header size zero", [](ByteWriter& w) { w.le32(0x48, 0); }, 0x48},
        {"disk size zero", [](ByteWriter& w) { w.le64(0x170, 0); }, 0x170},
        {"disk size past 2^63", [](ByteWriter& w) { w.le64(0x170, ~0ull); }, 0x170},
        {"block size not whole sectors", [](ByteWriter& w) { w.le32(0x178, 1000); }, 0x178},
        {"block size 2 GiB", [](ByteWriter& w) { w.le32(0x178, 0x80000000u); }, 0x178},
        {"block extra not whole sectors", [](ByteWriter& w) { w.le32(0x17C, 7); }, 0x17C},
        {"no blocks", [](ByteWriter& w) { w.le32(0x180, 0); }, 0x180},
        {"more allocated than blocks", [](ByteWriter& w) { w.le32(0x184, 17); }, 0x184},
        {"map inside the header", [](ByteWriter& w) { w.le32(0x154, 64); }, 0x154},
        {"map past the file", [](ByteWriter& w) { w.le32(0x154, kFileLength - 8); }, 0x154},
        {"data past the file", [](ByteWriter& w) { w.le32(0x158, kFileLength + 1); }, 0x158},
    };
    for (const Case& c : cases) {
        ByteWriter w = vdiHeader();
        c.damage(w);
        const auto problem = vdiHeaderProblem(*decodeVdiHeader(w.span()), kFileLength);
        ASSERT_TRUE(problem) << c.what;
        EXPECT_EQ(problem->offset, c.field) << c.what;
        EXPECT_EQ(problem->result, c.result) << c.what;
    }
}

TEST(ImageDecoders, VmdkSparseHeaderNamesTheDamagedField) {
    const auto sound = decodeVmdkSparseHeader(vmdkHeader().span());
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->capacity, 8192u);
    EXPECT_EQ(sound->grainSize, 128u);
    EXPECT_EQ(sound->descriptorSize, 20u);
    EXPECT_EQ(sound->tableEntries, 512u);
    EXPECT_EQ(sound->redundantDirectory, 22u);
    EXPECT_EQ(vmdkDirectorySector(*sound), 21u);
    EXPECT_EQ(vmdkDirectoryEntries(*sound), 1u);
    EXPECT_FALSE(vmdkHeaderProblem(*sound, kFileLength));
    EXPECT_FALSE(decodeVmdkSparseHeader(vmdkHeader().span().first(kVmdkHeaderSize - 1)));
    struct Case {
        const char* what;
        std::function<void(ByteWriter&)> damage;
        std::int64_t field;
        OpenResult result = OpenResult::Damaged;
    };
    const std::vector<Case> cases = {
        {"magic", [](ByteWriter& w) { w.le32(0x00, 0x564D444C); }, 0x00},
        {"version 4", [](ByteWriter& w) { w.le32(0x04, 4); }, 0x04, OpenResult::Unsupported},
        {"capacity zero", [](ByteWriter& w) { w.le64(0x0C, 0); }, 0x0C},
        {"capacity past 2^63 bytes", [](ByteWriter& w) { w.le64(0x0C, 1ull << 55); }, 0x0C},
        {"grain size zero", [](ByteWriter& w) { w.le64(0x14, 0); }, 0x14},
        {"grain size 1 GiB", [](ByteWriter& w) { w.le64(0x14, 1u << 21); }, 0x14},
        {"no table entries", [](ByteWriter& w) { w.le32(0x2C, 0); }, 0x2C},
        {"compressed without markers", [](ByteWriter& w) { w.le32(0x08, 0x10003).le16(0x4D, 1); }, 0x4D,
         OpenResult::Unsupported},
        {"directory past the file", [](ByteWriter& w) { w.le64(0x38, kFileLength / 512); }, 0x38},
        {"no directory but a bad redundant one", [](ByteWriter& w) { w.le64(0x38, 0).le64(0x30, 1ull << 40); },
         0x30},
    };
    for (const Case& c : cases) {
        ByteWriter w = vmdkHeader();
        c.damage(w);
        const auto problem = vmdkHeaderProblem(*decodeVmdkSparseHeader(w.span()), kFileLength);
        ASSERT_TRUE(problem) << c.what;
        EXPECT_EQ(problem->offset, c.field) << c.what;
        EXPECT_EQ(problem->result, c.result) << c.what;
    }
}
