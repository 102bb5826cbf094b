// Decoders of FAT on-disk structures, fed from byte arrays.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "fs/fat/ChainWalk.h"
#include "fs/fat/FatBootSector.h"
#include "fs/fat/FatDirectoryDecoder.h"
#include "fs/fat/FatTable.h"
#include "fs/fat/FatTimes.h"
#include "image/MemoryImage.h"

using namespace tavrel;
using namespace tavrel::fs::fat;

namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::array<std::uint8_t, 11> name11(const char* text) {
    std::array<std::uint8_t, 11> n{};
    std::memcpy(n.data(), text, 11);
    return n;
}

// A short slot with an 11-character raw name.
Bytes shortSlot(const char* raw11, std::uint8_t attributes = 0x20, std::uint32_t cluster = 5, std::uint32_t size = 10) {
    Bytes s(32, 0);
    std::memcpy(s.data(), raw11, 11);
    s[11] = attributes;
    put16(s, 20, static_cast<std::uint16_t>(cluster >> 16));
    put16(s, 26, static_cast<std::uint16_t>(cluster));
    put32(s, 28, size);
    return s;
}

// The long-name slots of `name` for the short name raw11, in disk order (last part first).
std::vector<Bytes> longSlots(const std::u16string& name, const char* raw11, bool deleted = false) {
    const std::uint8_t sum = shortNameChecksum(name11(raw11));
    const std::size_t parts = (name.size() + 12) / 13;
    std::vector<Bytes> out;
    for (std::size_t p = parts; p-- > 0;) {
        Bytes s(32, 0);
        s[0] = deleted ? 0xE5 : static_cast<std::uint8_t>((p + 1) | (p + 1 == parts ? 0x40 : 0));
        s[11] = 0x0F;
        s[13] = sum;
        static constexpr std::size_t offs[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
        for (std::size_t i = 0; i < 13; ++i) {
            const std::size_t at = p * 13 + i;
            std::uint16_t unit = at < name.size() ? name[at] : (at == name.size() ? 0 : 0xFFFF);
            put16(s, offs[i], unit);
        }
        out.push_back(s);
    }
    return out;
}

Bytes join(const std::vector<Bytes>& slots) {
    Bytes all;
    for (const auto& s : slots) all.insert(all.end(), s.begin(), s.end());
    return all;
}

std::vector<FatDirItem> decode(const Bytes& bytes, FatDirectoryDecoder::Options options = {}) {
    FatDirectoryDecoder d(options);
    std::vector<FatDirItem> items;
    d.feed(bytes, items);
    return items;
}

}  // namespace

TEST(FatBootSector, GeometryDecidesKindNotOemName) {
    Bytes s(512, 0);
    std::memcpy(s.data() + 3, "mkfs.fat", 8);
    put16(s, 11, 512);
    s[13] = 4;
    put16(s, 14, 4);
    s[16] = 2;
    put16(s, 17, 512);
    put16(s, 19, 8192);  // 4 MiB: under 4085 clusters, so FAT12
    put16(s, 22, 3);
    auto boot = decodeFatBootSector(s);
    ASSERT_TRUE(boot);
    EXPECT_TRUE(isFat16BootSector(*boot));
    EXPECT_FALSE(isFat32BootSector(*boot));
    const FatLayout l = fatLayout(*boot, 8192 * 512);
    EXPECT_EQ(l.kind, FatKind::Fat12);
    EXPECT_EQ(l.clusterSize, 2048);
    EXPECT_EQ(l.fatOffset, 4 * 512);
    EXPECT_EQ(l.rootOffset, (3 * 2 + 4) * 512);
    EXPECT_EQ(l.dataOffset, l.rootOffset + 512 * 32);
    EXPECT_EQ(l.clusterOffset(2), l.dataOffset);

    // A damaged geometry is refused whatever the OEM name says.
    std::memcpy(s.data() + 3, "MSDOS5.0", 8);
    s[13] = 3;
    EXPECT_FALSE(isFat16BootSector(*decodeFatBootSector(s)));
    s[13] = 4;
    put16(s, 11, 0);
    EXPECT_FALSE(isFat16BootSector(*decodeFatBootSector(s)));

    // FAT32: 16-bit FAT size zero, root cluster at offset 44, 64 KiB clusters.
    put16(s, 11, 512);
    s[13] = 128;
    put16(s, 22, 0);
    put16(s, 19, 0);
    put32(s, 32, 400000);
    put32(s, 36, 100);
    put32(s, 44, 7);
    boot = decodeFatBootSector(s);
    EXPECT_TRUE(isFat32BootSector(*boot));
    EXPECT_FALSE(isFat16BootSector(*boot));
    const FatLayout l32 = fatLayout(*boot, 400000LL * 512);
    EXPECT_EQ(l32.kind, FatKind::Fat32);
    EXPECT_EQ(l32.clusterSize, 65536);
    EXPECT_EQ(l32.rootCluster, 7u);
    EXPECT_EQ(l32.dataOffset, (4 + 2 * 100) * 512);
    EXPECT_EQ(decodeFatBootSector(ByteSpan(s.data(), 100)), std::nullopt);
}

TEST(FatTable, EntryWidthsAndChainEnds) {
    // FAT12: entries 2 = 0x003, 3 = 0xFFF packed in three bytes.
    const Bytes fat12 = {0xF8, 0xFF, 0xFF, 0x03, 0xF0, 0xFF};
    EXPECT_EQ(fatEntryValue(fat12, 2, FatWidth::Bits12), 0x003u);
    EXPECT_EQ(fatEntryValue(fat12, 3, FatWidth::Bits12), 0xFFFu);
    EXPECT_EQ(fatEntryValue(fat12, 4, FatWidth::Bits12), std::nullopt);
    Bytes fat32(16, 0);
    put32(fat32, 8, 0xF0000003);  // top four bits are not part of the value
    EXPECT_EQ(fatEntryValue(fat32, 2, FatWidth::Bits28), 3u);
    EXPECT_EQ(fatEntryValue(fat32, 2, FatWidth::ExFat32), 0xF0000003u);

    EXPECT_EQ(nextFromValue(3, FatWidth::Bits16, 100), 3u);
    EXPECT_EQ(nextFromValue(0, FatWidth::Bits16, 100), std::nullopt);
    EXPECT_EQ(nextFromValue(1, FatWidth::Bits16, 100), std::nullopt);
    EXPECT_EQ(nextFromValue(0xFFF8, FatWidth::Bits16, 0xFFF0), std::nullopt);
    EXPECT_EQ(nextFromValue(0xFF7, FatWidth::Bits12, 4000), std::nullopt);
    EXPECT_EQ(nextFromValue(0x0FFFFFFF, FatWidth::Bits28, 1000000), std::nullopt);
    EXPECT_EQ(nextFromValue(102, FatWidth::Bits16, 100), std::nullopt);  // beyond the last cluster
    EXPECT_EQ(nextFromValue(101, FatWidth::Bits16, 100), 101u);
}

TEST(FatShortName, PaddingExtensionDeletedAndCase) {
    EXPECT_EQ(shortNameText(name11("FILE    TXT"), 0), "FILE.TXT");
    EXPECT_EQ(shortNameText(name11("README     "), 0), "README");
    EXPECT_EQ(shortNameText(name11("DOCS       "), 0), "DOCS");
    EXPECT_EQ(shortNameText(name11("\xE5ILE    TXT"), 0), "\xCF\x83ILE.TXT");  // CP437 0xE5 is U+03C3
    EXPECT_EQ(shortNameText(name11("\x05ILE    TXT"), 0), "\xCF\x83ILE.TXT");
    EXPECT_EQ(shortNameText(name11("README  TXT"), 0x08), "readme.TXT");
    EXPECT_EQ(shortNameText(name11("README  TXT"), 0x18), "readme.txt");
    EXPECT_EQ(shortNameText(name11("A B     C  "), 0), "A B.C");
}

TEST(FatDirectory, LongNamesJoinedInOrderAndEndedCorrectly) {
    // 14 characters: two slots; 13 characters: one full slot with no terminator.
    auto slots = longSlots(u"Report-2024.md", "REPORT~1MD ");
    slots.push_back(shortSlot("REPORT~1MD "));
    for (auto& s : longSlots(u"Notes-13c.txt", "NOTES-~1TXT")) slots.push_back(s);
    slots.push_back(shortSlot("NOTES-~1TXT"));
    const auto items = decode(join(slots));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].name, "Report-2024.md");
    EXPECT_EQ(items[1].name, "Notes-13c.txt");
    EXPECT_FALSE(items[0].deleted);

    // 150 characters need 12 slots: the whole name is kept.
    std::u16string longName;
    for (int i = 0; i < 150; ++i) longName.push_back(static_cast<char16_t>(u'a' + i % 26));
    auto many = longSlots(longName, "AAAAAA~1TXT");
    ASSERT_EQ(many.size(), 12u);
    many.push_back(shortSlot("AAAAAA~1TXT"));
    const auto longItems = decode(join(many));
    ASSERT_EQ(longItems.size(), 1u);
    EXPECT_EQ(longItems[0].name, std::string(longName.begin(), longName.end()));
}

TEST(FatDirectory, DeletedEntriesKeptAndFlagged) {
    std::vector<Bytes> slots;
    slots.push_back(shortSlot("\xE5ILE    TXT"));
    for (auto& s : longSlots(u"Deleted long name.txt", "DELETE~1TXT", true)) slots.push_back(s);
    Bytes deletedShort = shortSlot("DELETE~1TXT");
    deletedShort[0] = 0xE5;
    slots.push_back(deletedShort);
    const auto items = decode(join(slots));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].name, "\xCF\x83ILE.TXT");
    EXPECT_TRUE(items[0].deleted);
    EXPECT_EQ(items[1].name, "Deleted long name.txt");
    EXPECT_TRUE(items[1].deleted);
}

TEST(FatDirectory, StaleLongNameDoesNotNameALiveShortEntry) {
    // Deleted long-name slots left before a live entry that has no long name of
    // its own: the checksum does not match, so the live entry keeps its short name.
    auto slots = longSlots(u"Old long name.txt", "OLDLON~1TXT", true);
    slots.push_back(shortSlot("NEW     TXT"));
    const auto items = decode(join(slots));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].name, "NEW.TXT");
    EXPECT_FALSE(items[0].deleted);
}

TEST(FatDirectory, EmptySlotsDotEntriesLabelsAndClusterReuse) {
    std::vector<Bytes> slots = {shortSlot(".          ", 0x10), shortSlot("..         ", 0x10),
                                shortSlot("TAVREL     ", 0x08), shortSlot("ONE     TXT"), Bytes(32, 0),
                                shortSlot("TWO     TXT")};
    const Bytes dir = join(slots);
    auto items = decode(dir, {true, false});
    ASSERT_EQ(items.size(), 2u);  // dot entries and the label are not entries
    EXPECT_EQ(items[1].name, "TWO.TXT");
    items = decode(dir, {true, true});  // FAT32: the empty slot ends the cluster
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].name, "ONE.TXT");

    // A folder's first cluster that does not begin with "." was reused: nothing.
    const Bytes reused = join({shortSlot("ONE     TXT"), shortSlot(".          ", 0x10)});
    EXPECT_TRUE(decode(reused, {true, false}).empty());

    // A long name split across two clusters of one folder is still joined.
    auto split = longSlots(u"Report-2024.md", "REPORT~1MD ");
    split.push_back(shortSlot("REPORT~1MD "));
    FatDirectoryDecoder d({false, false});
    std::vector<FatDirItem> out;
    const Bytes all = join(split);
    d.feed(ByteSpan(all.data(), 32), out);
    d.feed(ByteSpan(all.data() + 32, all.size() - 32), out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].name, "Report-2024.md");
}

TEST(FatFolderAttributes, EveryDirectoryCombinationIsAFolder) {
    for (int a : {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x30, 0x32}) EXPECT_TRUE(isFolderAttributes(a)) << a;
    for (int a : {0x00, 0x01, 0x20, 0x08, 0x18, 0x0F, 0x50, 0x90}) EXPECT_FALSE(isFolderAttributes(a)) << a;
}

TEST(FatTimes, ListTextsAndRealTimes) {
    DirSlot e;
    e.writeDate = static_cast<std::uint16_t>(((2021 - 1980) << 9) | (3 << 5) | 4);
    e.writeTime = static_cast<std::uint16_t>((13 << 11) | (5 << 5) | 3);  // 13:05:06
    e.creationDate = e.writeDate;
    e.creationTime = static_cast<std::uint16_t>((12 << 11) | (30 << 5));
    e.creationTenths = 150;
    e.accessDate = e.writeDate;
    e.attributes = 0x27;
    const auto d = fatDescription(e);
    EXPECT_EQ(d.modified, "03/04/2021  01:05 PM");
    EXPECT_EQ(d.created, "03/04/2021  12:30 PM");
    EXPECT_EQ(d.accessed, "03/04/2021 ");
    EXPECT_EQ(d.attributes, "-R-H-S-A");
    const auto t = fatEntryTimes(e);
    ASSERT_TRUE(t.modified);
    EXPECT_EQ(t.modified->seconds, 1614863106);  // 2021-03-04 13:05:06, taken as UTC
    ASSERT_TRUE(t.created);
    EXPECT_EQ(t.created->seconds, 1614861000 + 1);
    EXPECT_EQ(t.created->nanoseconds, 500000000u);
    e.writeDate = 0;
    EXPECT_FALSE(fatEntryTimes(e).modified);
}

TEST(ClusterChain, ContiguousRunsAreOneRangeAndChainsStopAtDamage) {
    // A run of 2^29 clusters (2 TiB) on a heap of nearly 2^32 clusters is one
    // extent and one claimed range, whatever its length.
    const ClusterHeap huge{4096, 0, 0xFFFFFFF0u};
    ClaimedClusters claims;
    const FatTable none;
    const ChainWalk run = followClusters(none, huge, 2, std::uint64_t{1} << 29, true, claims);
    EXPECT_EQ(run.clusters, std::uint64_t{1} << 29);
    ASSERT_EQ(run.extents.extents().size(), 1u);
    EXPECT_EQ(run.extents.total(), std::int64_t{1} << 41);
    EXPECT_EQ(followClusters(none, huge, 1000, 5, true, claims).end, ChainEnd::Claimed);
    const ChainWalk tail = followClusters(none, huge, 0xFFFFFFF0u, 100, true, claims);
    EXPECT_EQ(tail.clusters, 2u);
    EXPECT_EQ(tail.end, ChainEnd::HeapEnd);

    // FAT16 chains: 2 -> 3 -> 5 -> 2 loops, 6 points past the last cluster, 7 ends.
    Bytes fat(32, 0);
    for (const auto& [c, next] : std::vector<std::pair<int, int>>{{2, 3}, {3, 5}, {5, 2}, {6, 0xFFF0}, {7, 0xFFFF}})
        put16(fat, static_cast<std::size_t>(2 * c), static_cast<std::uint16_t>(next));
    MemoryImage image(fat);
    const VolumeView volume(image, 0);
    const FatTable table(volume, 0, 32, FatWidth::Bits16, 10);
    const ClusterHeap heap{512, 4096, 10};
    const std::uint64_t whole = ~std::uint64_t{0};
    ClaimedClusters walked;
    const ChainWalk loop = followClusters(table, heap, 2, whole, false, walked);
    EXPECT_EQ(loop.clusters, 3u);
    EXPECT_EQ(loop.end, ChainEnd::Claimed);
    EXPECT_EQ(loop.extents.extents().size(), 2u);  // clusters 2-3 and 5
    const ChainWalk leaving = followClusters(table, heap, 6, whole, false, walked);
    EXPECT_EQ(leaving.end, ChainEnd::Broken);
    EXPECT_EQ(leaving.where, 12);  // the FAT entry of cluster 6
    EXPECT_EQ(followClusters(table, heap, 7, whole, false, walked).end, ChainEnd::EndMark);
    EXPECT_EQ(followClusters(table, heap, 8, 1, false, walked).end, ChainEnd::Complete);
}
