// The pure decoders, from hand-made byte arrays: boot sector, record fixup and
// attribute walk, run lists, LZNT1 and attribute lists. Each damaged form must
// end cleanly.
#include <gtest/gtest.h>

#include <cstring>

#include "fs/ntfs/AttributeList.h"
#include "fs/ntfs/BootSector.h"
#include "fs/ntfs/Lznt1.h"
#include "fs/ntfs/MftLayout.h"
#include "fs/ntfs/MftRecord.h"
#include "fs/ntfs/RecordLoader.h"
#include "fs/ntfs/RunList.h"
#include "image/MemoryImage.h"

using namespace tavrel;
using namespace tavrel::fs;

namespace {
void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b[at] = v & 0xFF;
    b[at + 1] = v >> 8;
}
void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 0xFF;
}
void put64(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) b[at + i] = (v >> (8 * i)) & 0xFF;
}

std::vector<std::uint8_t> bootSector(std::uint16_t bps, std::uint8_t spc, std::uint64_t total, std::int8_t perRecord) {
    std::vector<std::uint8_t> b(512, 0);
    std::memcpy(&b[3], "NTFS    ", 8);
    put16(b, 11, bps);
    b[13] = spc;
    put64(b, 40, total);
    put64(b, 48, 4);
    put64(b, 56, 3071);
    b[0x40] = static_cast<std::uint8_t>(perRecord);
    return b;
}
}  // namespace

TEST(NtfsBootSector, GeometryAndSizes) {
    auto b = bootSector(512, 8, 49151, -10);
    NtfsBoot boot = decodeBootSector(b);
    EXPECT_TRUE(boot.isNtfs);
    EXPECT_EQ(boot.clusterSize, 4096);
    EXPECT_EQ(boot.volumeSize, 49151LL * 512);
    EXPECT_EQ(boot.recordSize, 1024u);
    EXPECT_EQ(boot.mftCluster, 4);

    // 4096-byte sectors: the volume size follows bytes per sector.
    b = bootSector(4096, 1, 1000, -12);
    boot = decodeBootSector(b);
    EXPECT_EQ(boot.volumeSize, 4096000);
    EXPECT_EQ(boot.recordSize, 4096u);

    // A positive value counts clusters; 0xF4 sectors per cluster means 2^12.
    b = bootSector(512, 0xF4, 100, 1);
    boot = decodeBootSector(b);
    EXPECT_EQ(boot.clusterSize, 512 * 4096);
    EXPECT_EQ(boot.recordSize, 1024u);  // 2 MiB records are not plausible: default

    // Damage: no signature, bad sector size, zero cluster size.
    b = bootSector(0, 0, 1, 0);
    b[3] = 'X';
    boot = decodeBootSector(b);
    EXPECT_FALSE(boot.isNtfs);
    EXPECT_EQ(boot.clusterSize, 0);
    EXPECT_EQ(boot.volumeSize, 0);
    EXPECT_EQ(boot.recordSize, 1024u);
    EXPECT_FALSE(decodeBootSector({}).isNtfs);
}

TEST(NtfsRecord, FixupRestoresEveryStride) {
    for (const std::size_t size : {std::size_t{1024}, std::size_t{4096}}) {
        std::vector<std::uint8_t> r(size, 0);
        put32(r, 0, 0x454C4946);
        put16(r, 4, 48);
        const std::size_t count = size / 512 + 1;
        put16(r, 6, static_cast<std::uint16_t>(count));
        put16(r, 48, 0x0007);  // sequence number
        for (std::size_t k = 1; k < count; ++k) {
            put16(r, 48 + 2 * k, static_cast<std::uint16_t>(0xA000 + k));  // true bytes
            put16(r, 512 * k - 2, 0x0007);                                 // marker on disk
        }
        EXPECT_TRUE(applyFixup(r));
        for (std::size_t k = 1; k < count; ++k) EXPECT_EQ(le16(r, 512 * k - 2), 0xA000 + k) << size << " " << k;
    }
    // A marker that does not match is reported; an array past the record is ignored.
    std::vector<std::uint8_t> r(1024, 0);
    put16(r, 4, 48);
    put16(r, 6, 3);
    put16(r, 48, 1);
    put16(r, 510, 2);
    EXPECT_FALSE(applyFixup(r));
    put16(r, 4, 1022);
    put16(r, 6, 0xFFFF);
    applyFixup(r);  // must stay inside the buffer
}

TEST(NtfsRecord, AttributeWalkStaysInsideTheRecord) {
    std::vector<std::uint8_t> r(1024, 0);
    put32(r, 0, 0x454C4946);
    put16(r, 20, 56);
    // $FILE_NAME, resident, then an attribute whose length runs past the end.
    put32(r, 56, 0x30);
    put32(r, 60, 0x68);
    put32(r, 56 + 16, 0x4A);
    put16(r, 56 + 20, 0x18);
    std::vector<std::uint8_t> fn(0x4A, 0);
    put64(fn, 0, 0x0005000000000005ULL);
    put32(fn, 56, 0x10000000);
    fn[64] = 4;
    fn[65] = 1;
    const char16_t name[] = u"a.bc";
    for (int i = 0; i < 4; ++i) put16(fn, 66 + 2 * i, static_cast<std::uint16_t>(name[i]));
    std::copy(fn.begin(), fn.end(), r.begin() + 56 + 0x18);
    put32(r, 56 + 0x68, 0x80);
    put32(r, 56 + 0x68 + 4, 0x10000);  // far past the record
    auto attrs = collectAttributes(r);
    ASSERT_EQ(attrs.size(), 2u);
    EXPECT_EQ(attrs[0].type, 0x30u);
    EXPECT_EQ(attrs[1].length, 1024u - (56 + 0x68));
    const auto decoded = decodeFileName(residentValue(r, attrs[0]));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->name, "a.bc");
    EXPECT_EQ(decoded->parentRecord, 5);
    EXPECT_EQ(decoded->parentSequence, 5);
    EXPECT_TRUE(decoded->fileAttributes & kFileAttrDirectory);

    // A zero length ends the walk; a first-attribute offset past the end gives nothing.
    put32(r, 60, 0);
    EXPECT_TRUE(collectAttributes(r).empty());
    put16(r, 20, 2000);
    EXPECT_TRUE(collectAttributes(r).empty());

    // The parent number is sign-extended from bit 47.
    put64(fn, 0, 0x0000FFFFFFFFFFFFULL);
    EXPECT_EQ(decodeFileName(fn)->parentRecord, -1);
    // A name that does not fit the value gives no name.
    fn[64] = 200;
    EXPECT_FALSE(decodeFileName(fn));
}

namespace {
// A 1024-byte record: "FILE", the update-sequence array at `usaOffset` (count 3,
// markers set), one empty attribute list ended by the end marker at 56.
std::vector<std::uint8_t> plainRecord(std::uint16_t usaOffset) {
    std::vector<std::uint8_t> r(1024, 0);
    put32(r, 0, 0x454C4946);
    put16(r, 4, usaOffset);
    put16(r, 6, 3);
    put16(r, usaOffset, 0x0001);
    put16(r, 510, 0x0001);
    put16(r, 1022, 0x0001);
    put16(r, 20, 56);
    put32(r, 56, 0xFFFFFFFF);
    return r;
}
}  // namespace

TEST(NtfsRecord, OwnNumberOnlyWhereTheHeaderHoldsIt) {
    // NTFS 3.1: the array starts at 0x30 and offset 44 holds the record number.
    auto r = plainRecord(0x30);
    put32(r, 44, 0x1234);
    EXPECT_EQ(decodeRecordHeader(r).recordNumber, 0x1234u);
    // NTFS 3.0: the array starts at 0x2A and covers offset 44; no number.
    r = plainRecord(0x2A);
    put16(r, 0x2A + 2, 0x5678);  // the first stride's saved bytes lie at 44
    ASSERT_TRUE(applyFixup(r));
    EXPECT_EQ(le16(r, 44), 0x5678);
    EXPECT_FALSE(decodeRecordHeader(r).recordNumber);
}

TEST(NtfsRecord, LoaderJudgesDamage) {
    struct Case {
        const char* what;
        void (*damage)(std::vector<std::uint8_t>&);
        bool record;
        bool torn;
        bool overran;
        int counted;  // damaged records counted by the loader
    };
    const Case cases[] = {
        {"intact", [](std::vector<std::uint8_t>&) {}, true, false, false, 0},
        {"torn stride", [](std::vector<std::uint8_t>& r) { put16(r, 1022, 0x0009); }, true, true, false, 1},
        {"attribute past the end", [](std::vector<std::uint8_t>& r) { put32(r, 56, 0x10); put32(r, 60, 0x4000); },
         true, false, true, 1},
        {"no end marker", [](std::vector<std::uint8_t>& r) { put32(r, 56, 0x10); put32(r, 60, 16); }, true, false,
         true, 1},
        {"bad tag", [](std::vector<std::uint8_t>& r) { put32(r, 0, 0x44414142); }, false, false, false, 1},
        {"never written", [](std::vector<std::uint8_t>& r) { std::fill(r.begin(), r.end(), 0); }, false, false,
         false, 0},
    };
    for (const Case& c : cases) {
        auto r = plainRecord(0x30);
        c.damage(r);
        MemoryImage image(r);
        VolumeView view(image, 0);
        Warnings warnings;
        const auto loaded = MftRecordLoader(view, warnings).load(0, 1024);
        ASSERT_EQ(loaded.has_value(), c.record) << c.what;
        if (loaded) {
            EXPECT_EQ(loaded->tornFixup, c.torn) << c.what;
            EXPECT_EQ(loaded->overran, c.overran) << c.what;
        }
        EXPECT_EQ(warnings.damagedRecords(), c.counted) << c.what;
    }
    // Past the volume's end: unreadable, not damaged.
    MemoryImage small(std::vector<std::uint8_t>(512));
    VolumeView view(small, 0);
    Warnings warnings;
    EXPECT_FALSE(MftRecordLoader(view, warnings).load(0, 1024));
    EXPECT_EQ(warnings.unreadableRanges(), 1);
    EXPECT_EQ(warnings.damagedRecords(), 0);
}

// The MFT's slots along its runs (4 KiB clusters, 1 KiB records): holes and
// stretches the image does not store get none; claims past the volume, the real
// size or what the image can hold are cut (a run past the volume's end is
// clipped there).
TEST(NtfsMftLayout, SlotsAreBoundedByWhatIsStored) {
    const std::vector<MftRun> runs{{10, 4, false}, {0, 2, true}, {100, 1000, false}};
    const auto all = [](std::int64_t, std::int64_t) { return true; };
    const auto firstRunOnly = [](std::int64_t offset, std::int64_t) { return offset < 100 * 4096; };
    struct Case {
        const char* what;
        MftLimits limits;
        MftLayout::Stored stored;
        std::uint64_t slots;
        bool cut;
        std::optional<std::uint64_t> slotOf24;  // record 24: the first of the third run
    };
    const std::int64_t volume = 1 << 30;
    const Case cases[] = {
        {"everything stored", {1u << 20, 1u << 20, volume}, all, 16 + 4000, false, 16},
        {"real size", {20, 1u << 20, volume}, all, 16, false, std::nullopt},
        {"image holds 100 records", {1u << 20, 100, volume}, all, 100, true, 16},
        {"second run not stored", {1u << 20, 1u << 20, volume}, firstRunOnly, 16, false, std::nullopt},
        {"run longer than the volume", {1u << 20, 1u << 20, 200 * 4096}, all, 16 + 400, true, 16},
    };
    for (const Case& c : cases) {
        const MftLayout l = MftLayout::build(runs, 4096, 1024, c.limits, c.stored);
        EXPECT_EQ(l.size(), c.slots) << c.what;
        EXPECT_EQ(l.cut(), c.cut) << c.what;
        EXPECT_EQ(l.slotOf(24), c.slotOf24) << c.what;
        EXPECT_EQ(l.slotOf(5), std::optional<std::uint64_t>(5)) << c.what;
        EXPECT_FALSE(l.slotOf(17)) << c.what;  // in the hole
    }
    // A forged run of 2^40 clusters over a 1 GiB volume is clipped to the
    // volume, and keeps no more slots than the image can hold.
    const MftLayout forged = MftLayout::build({{4, std::uint64_t{1} << 40, false}}, 4096, 1024,
                                              {~std::uint64_t{0}, 1000, volume}, all);
    EXPECT_TRUE(forged.cut());
    EXPECT_EQ(forged.size(), 1000u);
    EXPECT_EQ(forged.slotOf(999), std::optional<std::uint64_t>(999));
}

// With 512-byte clusters a run may end inside a record: the record gets its
// slot at its first piece and is read from all its pieces; when a piece is not
// stored it gets none, and the records after it keep their places.
TEST(NtfsMftLayout, RecordsCutByARunEndAreKeptInPieces) {
    const auto all = [](std::int64_t, std::int64_t) { return true; };
    const auto notAt100 = [](std::int64_t offset, std::int64_t) { return offset != 100 * 512; };
    struct Case {
        const char* what;
        std::vector<MftRun> runs;
        std::uint32_t recordSize;
        MftLayout::Stored stored;
        std::uint64_t slots;
        std::vector<RecordPiece> pieces;  // of record 1 (empty: no slot)
        std::int64_t record2At;
    };
    const Case cases[] = {
        {"two runs", {{10, 3, false}, {100, 1, false}, {200, 4, false}}, 1024, all, 4,
         {{11 * 512 + 512, 512}, {100 * 512, 512}}, 200 * 512},
        {"three runs", {{10, 5, false}, {100, 2, false}, {200, 1, false}, {300, 8, false}}, 2048, all, 4,
         {{14 * 512, 512}, {100 * 512, 1024}, {200 * 512, 512}}, 300 * 512},
        {"a piece not stored", {{10, 3, false}, {100, 1, false}, {200, 4, false}}, 1024, notAt100, 3, {}, 200 * 512},
        {"a piece in a hole", {{10, 3, false}, {0, 1, true}, {200, 4, false}}, 1024, all, 3, {}, 200 * 512},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const MftLayout l = MftLayout::build(c.runs, 512, c.recordSize, {1u << 20, 1u << 20, 1 << 30}, c.stored);
        EXPECT_EQ(l.size(), c.slots);
        EXPECT_FALSE(l.cut());
        EXPECT_EQ(l.slotOf(1).has_value(), !c.pieces.empty());
        ASSERT_EQ(l.segments().back().firstRecord + l.segments().back().count, 4u);
        EXPECT_EQ(l.segments().back().offset, c.record2At);
        EXPECT_FALSE(l.splitAt(10 * 512));
        const MftSplitRecord* split = c.pieces.empty() ? nullptr : l.splitAt(c.pieces.front().offset);
        EXPECT_EQ(split != nullptr, !c.pieces.empty());
        if (!split) continue;
        EXPECT_EQ(split->record, 1u);
        ASSERT_EQ(split->pieces.size(), c.pieces.size());
        for (std::size_t i = 0; i < c.pieces.size(); ++i) {
            EXPECT_EQ(split->pieces[i].offset, c.pieces[i].offset);
            EXPECT_EQ(split->pieces[i].length, c.pieces[i].length);
        }
    }
}

TEST(NtfsRecord, AttributeText) {
    EXPECT_EQ(attributeText(0), "");
    EXPECT_EQ(attributeText(0x1 | 0x2 | 0x200 | 0x20 | 0x800 | 0x4000), "-R-H-S-A-C-E");
    EXPECT_EQ(attributeText(0x20), "-A");
}

TEST(NtfsRunList, DecodesWideSignedAndSparseRuns) {
    // 0x21: 1-byte length, 2-byte offset. 0x01: sparse run. 0x31 with a negative offset.
    // 0x48: 8-byte length, 4-byte offset -> 64-bit length kept.
    const std::vector<std::uint8_t> bytes = {0x21, 0x10, 0x00, 0x01,          // 16 clusters at 256
                                             0x01, 0x08,                      // 8-cluster hole
                                             0x31, 0x04, 0x00, 0xFF, 0xFF,    // 4 clusters at 256 - 256 = 0
                                             0x08, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,  // 2^32 clusters, hole
                                             0x00};
    const auto r = decodeRunList(bytes, ~std::uint64_t{0});
    EXPECT_TRUE(r.terminated);
    EXPECT_FALSE(r.damaged);
    ASSERT_EQ(r.runs.size(), 4u);
    EXPECT_EQ(r.runs[0].lcn, 256);
    EXPECT_EQ(r.runs[0].length, 16u);
    EXPECT_TRUE(r.runs[1].sparse);
    EXPECT_EQ(r.runs[1].length, 8u);
    EXPECT_EQ(r.runs[2].lcn, 0);
    EXPECT_FALSE(r.runs[2].sparse);  // cluster 0 is a real cluster, not a hole
    EXPECT_EQ(r.runs[3].length, std::uint64_t{1} << 32);

    // A 5-byte offset beyond 32 bits is kept whole.
    const std::vector<std::uint8_t> far = {0x51, 0x01, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00};
    EXPECT_EQ(decodeRunList(far, 100).runs.at(0).lcn, std::int64_t{2} << 32);
}

TEST(NtfsRunList, BoundedOnGarbage) {
    // The cluster limit clips; a length field of 9 bytes, a truncated field and a
    // zero length all end the list as damaged.
    const std::vector<std::uint8_t> longRun = {0x11, 0x20, 0x05, 0x11, 0x20, 0x05, 0x00};
    auto r = decodeRunList(longRun, 40);
    ASSERT_EQ(r.runs.size(), 2u);
    EXPECT_EQ(r.runs[1].length, 8u);
    EXPECT_TRUE(r.damaged);
    EXPECT_TRUE(decodeRunList(std::vector<std::uint8_t>{0x19, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 100).runs.empty());
    EXPECT_TRUE(decodeRunList(std::vector<std::uint8_t>{0x44, 1, 2}, 100).damaged);
    EXPECT_TRUE(decodeRunList(std::vector<std::uint8_t>{0x11, 0x00, 0x05}, 100).damaged);
    // Offsets that overflow the cluster number stop the list.
    const std::vector<std::uint8_t> overflow = {0x81, 1, 0, 0, 0, 0, 0, 0, 0, 0x7F, 0x81, 1, 0, 0, 0, 0, 0, 0, 0, 0x7F};
    EXPECT_TRUE(decodeRunList(overflow, 100).damaged);
    EXPECT_TRUE(decodeRunList(std::vector<std::uint8_t>{0x00, 0x11, 1, 1}, 100).runs.empty());
}

namespace {
std::vector<std::uint8_t> chunk(bool compressed, const std::vector<std::uint8_t>& data) {
    const std::uint16_t header = static_cast<std::uint16_t>((compressed ? 0xB000 : 0x3000) | (data.size() - 1));
    std::vector<std::uint8_t> c;
    c.reserve(data.size() + 2);
    c.push_back(header & 0xFF);
    c.push_back(header >> 8);
    for (auto b : data) c.push_back(b);
    return c;
}
}  // namespace

TEST(NtfsLznt1, LiteralsCopiesAndRawChunks) {
    // Literals a b c, then a copy of 9 bytes from 3 back: at position 3 the token
    // has 12 length bits, so token = ((3 - 1) << 12) | (9 - 3).
    auto in = chunk(true, {0x08, 'a', 'b', 'c', 0x06, 0x20});
    std::vector<std::uint8_t> out(8192, 0xEE);
    auto r = decompressUnit(in, out);
    EXPECT_FALSE(r.error);
    ASSERT_EQ(r.produced, 12u);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 12), "abcabcabcabc");

    // A short compressed chunk followed by a raw one: the first stands for 4096
    // bytes (zeros after its output), the raw chunk lands at 4096.
    std::vector<std::uint8_t> raw(4096);
    for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<std::uint8_t>(i * 13);
    auto second = chunk(false, raw);
    in.insert(in.end(), second.begin(), second.end());
    in.push_back(0);
    in.push_back(0);
    std::fill(out.begin(), out.end(), 0xEE);
    r = decompressUnit(in, out);
    EXPECT_FALSE(r.error);
    ASSERT_EQ(r.produced, 8192u);
    EXPECT_EQ(out[12], 0);
    EXPECT_EQ(out[4095], 0);
    EXPECT_TRUE(std::equal(raw.begin(), raw.end(), out.begin() + 4096));

    // Far into a chunk the displacement takes more bits: at position 300 (n=299,
    // halved 5 times below 16) the length field has 7 bits.
    std::vector<std::uint8_t> data;
    std::string expect;
    for (int block = 0; block < 38; ++block) {  // 300 literals in groups of 8
        data.push_back(0x00);
        for (int i = 0; i < 8 && expect.size() < 300; ++i) {
            const char ch = static_cast<char>('A' + (expect.size() * 7) % 26);
            data.push_back(static_cast<std::uint8_t>(ch));
            expect.push_back(ch);
        }
    }
    // expect has 300 bytes; the last flag byte covered only 4 literals (300 = 37*8 + 4),
    // so its bit 4 announces the token.
    data[37 * 9] = 0x10;
    const std::uint16_t token = static_cast<std::uint16_t>(((300 - 1) << 7) | (10 - 3));  // copy 10 from the start
    data.push_back(token & 0xFF);
    data.push_back(token >> 8);
    expect += expect.substr(0, 10);
    in = chunk(true, data);
    r = decompressUnit(in, out);
    EXPECT_FALSE(r.error);
    ASSERT_EQ(r.produced, expect.size());
    EXPECT_EQ(std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(expect.size())), expect);
}

TEST(NtfsLznt1, DamagedInputEndsCleanly) {
    std::vector<std::uint8_t> out(4096);
    // A copy before any output, a copy reaching before the chunk, a chunk longer
    // than the input, a token cut short.
    EXPECT_TRUE(decompressUnit(chunk(true, {0x01, 0x00, 0x00}), out).error);
    EXPECT_TRUE(decompressUnit(chunk(true, {0x02, 'a', 0x00, 0x50}), out).error);
    auto longChunk = chunk(true, {0x00, 'a', 'b'});
    longChunk[0] = 0xFF;
    EXPECT_TRUE(decompressUnit(longChunk, out).error);
    EXPECT_TRUE(decompressUnit(chunk(true, {0x02, 'a', 0x01}), out).error);
    // Output capacity is a hard bound: a long copy into a small buffer stops.
    std::vector<std::uint8_t> tiny(5);
    const auto r = decompressUnit(chunk(true, {0x02, 'a', 0xFF, 0x0F}), tiny);
    EXPECT_TRUE(r.error);
    EXPECT_EQ(r.produced, 5u);
    EXPECT_EQ(decompressUnit({}, out).produced, 0u);
}

TEST(NtfsAttributeList, EntriesAndBounds) {
    std::vector<std::uint8_t> list(32 * 3, 0);
    for (int i = 0; i < 3; ++i) {
        put32(list, 32 * i, i == 2 ? 0x80 : 0x10 * (i + 1));
        put16(list, 32 * i + 4, 32);
        put64(list, 32 * i + 8, 100 * i);
        put64(list, 32 * i + 16, (std::uint64_t{3} << 48) | (70 + i));
    }
    auto e = walkAttributeList(list);
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[2].type, 0x80u);
    EXPECT_EQ(e[2].recordNumber, 72u);
    EXPECT_EQ(e[2].sequence, 3u);
    EXPECT_EQ(e[2].startVcn, 200u);
    // A zero length, a length past the end, and a type 0 each end the walk.
    put16(list, 32 + 4, 0);
    EXPECT_EQ(walkAttributeList(list).size(), 1u);
    put16(list, 32 + 4, 0xFFF0);
    EXPECT_EQ(walkAttributeList(list).size(), 1u);
    put16(list, 32 + 4, 32);
    put32(list, 32, 0);
    EXPECT_EQ(walkAttributeList(list).size(), 1u);
}
