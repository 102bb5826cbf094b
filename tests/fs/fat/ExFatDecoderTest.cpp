// exFAT boot sector, entry sets and timestamps, fed from byte arrays.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fs/fat/ExFatBootSector.h"
#include "fs/fat/ExFatDirectoryDecoder.h"
#include "fs/fat/ExFatTimes.h"

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
void put64(Bytes& b, std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A file entry set for `name`: file entry, stream extension, name entries.
Bytes entrySet(const std::u16string& name, bool deleted, std::uint16_t attributes = 0x20,
               std::uint64_t size = 1000, std::uint32_t cluster = 9, std::uint8_t flags = 3) {
    const std::size_t names = (name.size() + 14) / 15;
    Bytes b(32 * (2 + names), 0);
    b[0] = deleted ? 0x05 : 0x85;
    b[1] = static_cast<std::uint8_t>(1 + names);
    put16(b, 4, attributes);
    b[32] = deleted ? 0x40 : 0xC0;
    b[33] = flags;
    b[35] = static_cast<std::uint8_t>(name.size());
    put64(b, 40, size);
    put32(b, 52, cluster);
    put64(b, 56, size);
    for (std::size_t i = 0; i < names; ++i) {
        const std::size_t at = 64 + 32 * i;
        b[at] = deleted ? 0x41 : 0xC1;
        for (std::size_t k = 0; k < 15 && i * 15 + k < name.size(); ++k) put16(b, at + 2 + 2 * k, name[i * 15 + k]);
    }
    return b;
}

std::vector<ExFatSet> decode(const Bytes& bytes) {
    ExFatDirectoryDecoder d;
    std::vector<ExFatSet> out;
    d.feed(bytes, out);
    d.finish(out);
    return out;
}

}  // namespace

TEST(ExFatBootSector, AcceptedOnlyWithNameAndUsableShifts) {
    Bytes s(512, 0);
    std::memcpy(s.data() + 3, "EXFAT   ", 8);
    put32(s, 80, 128);
    put32(s, 84, 8);
    put32(s, 88, 256);
    put32(s, 92, 1000);
    put32(s, 96, 4);
    s[108] = 9;
    s[109] = 3;
    const auto b = decodeExFatBootSector(s);
    ASSERT_TRUE(b);
    const ExFatLayout l = exFatLayout(*b, 256 * 512 + 1000 * 4096);
    EXPECT_EQ(l.clusterSize, 4096);
    EXPECT_EQ(l.heapOffset, 256 * 512);
    EXPECT_EQ(l.clusterOffset(4), 256 * 512 + 2 * 4096);
    EXPECT_EQ(l.clusterCount, 1000u);
    // The volume holds fewer clusters than the boot sector claims.
    EXPECT_EQ(exFatLayout(*b, 256 * 512 + 10 * 4096).clusterCount, 10u);
    s[109] = 20;  // 512 MiB clusters
    EXPECT_FALSE(decodeExFatBootSector(s));
    s[109] = 3;
    s[3] = 'N';
    EXPECT_FALSE(decodeExFatBootSector(s));
}

TEST(ExFatDirectory, LiveAndDeletedSetsWithTheirNames) {
    Bytes dir = entrySet(u"Twenty characters!!.txt", false);
    const Bytes deleted = entrySet(u"GONE.TXT", true, 0x20, 77, 12, 1);
    dir.insert(dir.end(), deleted.begin(), deleted.end());
    dir.resize(dir.size() + 64, 0);  // end of directory
    const auto sets = decode(dir);
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0].name, "Twenty characters!!.txt");
    EXPECT_EQ(sets[0].entryType, 0x85);
    EXPECT_EQ(sets[0].validDataLength, 1000u);
    EXPECT_EQ(sets[1].name, "GONE.TXT");
    EXPECT_EQ(sets[1].entryType, 0x05);
    EXPECT_EQ(sets[1].firstCluster, 12u);
    EXPECT_EQ(sets[1].secondaryFlags, 1);
    EXPECT_FALSE(noFatChain(sets[1].secondaryFlags));
    EXPECT_TRUE(noFatChain(sets[0].secondaryFlags));
}

TEST(ExFatDirectory, NameCutToItsLengthAndNoStaleNameEntries) {
    // A short live set written over the start of a longer deleted one: the
    // old name entries after it are not part of its name.
    Bytes old = entrySet(u"A much longer name than the new one.txt", true);
    const Bytes fresh = entrySet(u"new.txt", false);
    std::copy(fresh.begin(), fresh.end(), old.begin());
    // The name entry of the new set still holds old characters after its name.
    const auto sets = decode(old);
    ASSERT_GE(sets.size(), 1u);
    EXPECT_EQ(sets[0].name, "new.txt");
    for (std::size_t i = 1; i < sets.size(); ++i) EXPECT_NE(sets[i].name.find("new"), 0u);

    // A set split across two clusters is still one set.
    const Bytes split = entrySet(u"Report-2024.md", false);
    ExFatDirectoryDecoder d;
    std::vector<ExFatSet> out;
    d.feed(ByteSpan(split.data(), 32), out);
    d.feed(ByteSpan(split.data() + 32, split.size() - 32), out);
    d.finish(out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].name, "Report-2024.md");
}

TEST(ExFatTimes, TwoSecondCountsTenMillisecondsAndUtcOffset) {
    // 2021-03-04 10:15:58 (two-second count 29).
    const std::uint32_t ts = (41u << 25) | (3u << 21) | (4u << 16) | (10u << 11) | (15u << 5) | 29u;
    const CivilTime c = exFatCivil(ts);
    EXPECT_EQ(c.hour, 10);
    EXPECT_EQ(c.second, 58);
    EXPECT_EQ(timeText(c), "03/04/2021  10:15 AM");
    auto p = exFatTimePoint(ts, 150, 0);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->seconds, 1614852958 + 1);
    EXPECT_EQ(p->nanoseconds, 500000000u);
    // Valid offset of +1 hour (4 quarters): the UTC instant is an hour earlier.
    p = exFatTimePoint(ts, 0, 0x80 | 4);
    EXPECT_EQ(p->seconds, 1614852958 - 3600);
    // -30 minutes (7-bit -2).
    p = exFatTimePoint(ts, 0, 0x80 | 0x7E);
    EXPECT_EQ(p->seconds, 1614852958 + 1800);
    EXPECT_FALSE(exFatTimePoint(0, 0, 0));
}
