// Damaged volumes: one field spoiled at a time in a copy of a fixture held in
// memory. Each must give a clean answer, never a crash or an endless walk.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "fs/fat/Fat16Class.h"
#include "fs/fat/Fat32Class.h"
#include "fs/fat/Fat64Class.h"
#include "image/FileReadSeekVHD.h"
#include "image/MemoryImage.h"
#include "support/TestSupport.h"

using namespace tavrel;
using namespace tavrel::fs;
using namespace tavrel::fs::fat;

namespace {

constexpr std::int64_t kVolume = 2048 * 512;

class VectorSink : public ByteSink {
public:
    bool write(ByteSpan bytes) override {
        data.insert(data.end(), bytes.begin(), bytes.end());
        return true;
    }
    std::vector<std::uint8_t> data;
};

// The fixture's whole disk in memory.
MemoryImage diskOf(const std::string& name) {
    FileReadSeekVHD vhd;
    EXPECT_TRUE(vhd.open(test::unpackedFixture("fat/" + name + ".vhd.xz").string()));
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(vhd.diskSize()));
    EXPECT_TRUE(vhd.readAt(0, bytes));
    return MemoryImage(std::move(bytes));
}

void put32(std::vector<std::uint8_t>& b, std::int64_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[static_cast<std::size_t>(at + i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// path -> entry, walked through the entry view.
void collect(const Parser& p, const std::vector<EntryRef>& level, const std::string& prefix,
             std::map<std::string, EntryRef>& out) {
    for (const EntryRef e : level) {
        out[prefix + p.name(e)] = e;
        if (p.isFolder(e)) collect(p, p.children(e), prefix + p.name(e) + "/", out);
    }
}

std::map<std::string, EntryRef> listing(const Parser& p) {
    std::map<std::string, EntryRef> out;
    collect(p, p.rootLevel(), "", out);
    return out;
}

}  // namespace

TEST(FatDamage, WrongKindOrSpoiledBootSectorIsRefusedWithItsMessage) {
    MemoryImage disk = diskOf("fat16");
    const VolumeView volume(disk, 2048);
    WorkControl work;
    Fat32Class as32(volume, {});
    EXPECT_FALSE(as32.scan(work));
    EXPECT_EQ(as32.message(), "Selected Drive is not in Fat32 Format");
    Fat64Class asExFat(volume, {});
    EXPECT_FALSE(asExFat.scan(work));
    EXPECT_EQ(asExFat.message(), "Selected Drive is not in exFat Format");

    disk.bytes()[kVolume + 12] = 0;  // bytes per sector: 512 becomes 0
    Fat16Class spoiled(volume, {});
    EXPECT_FALSE(spoiled.scan(work));
    EXPECT_EQ(spoiled.message(), "Selected Drive is not in Fat16 Format");
    EXPECT_TRUE(spoiled.rootLevel().empty());

    MemoryImage tiny(std::vector<std::uint8_t>(100, 0));
    Fat64Class unreadable(VolumeView(tiny, 0), {});
    EXPECT_FALSE(unreadable.scan(work));
    EXPECT_EQ(unreadable.message(), "cannot read file");
}

TEST(FatDamage, ChainLoopingBackEndsTheFolderWithoutRepeats) {
    MemoryImage disk = diskOf("fat16");
    const VolumeView volume(disk, 2048);
    WorkControl work;
    Fat16Class clean(volume, {});
    ASSERT_TRUE(clean.scan(work));
    const auto before = listing(clean);
    ASSERT_TRUE(before.count("big"));
    const auto& big = clean.entries()[before.at("big")];
    const std::uint32_t first = clean.firstCluster(big);
    // Point the last cluster of the folder's chain back at its first one.
    std::uint32_t c = first;
    const std::int64_t fat = kVolume + clean.layout().fatOffset;
    auto fat16 = [&](std::uint32_t n) {
        const auto at = static_cast<std::size_t>(fat + 2 * n);
        return static_cast<std::uint32_t>(disk.bytes()[at] | (disk.bytes()[at + 1] << 8));
    };
    while (fat16(c) >= 2 && fat16(c) < 0xFFF8) c = fat16(c);
    ASSERT_NE(c, first);
    disk.bytes()[static_cast<std::size_t>(fat + 2 * c)] = static_cast<std::uint8_t>(first);
    disk.bytes()[static_cast<std::size_t>(fat + 2 * c + 1)] = static_cast<std::uint8_t>(first >> 8);

    Fat16Class looped(volume, {});
    ASSERT_TRUE(looped.scan(work));
    const auto after = listing(looped);
    EXPECT_EQ(after.size(), before.size());
    EXPECT_EQ(looped.children(after.at("big")).size(), clean.children(before.at("big")).size());
}

TEST(FatDamage, Fat32RootClusterFieldSpoiledFallsBackToClusterTwo) {
    MemoryImage disk = diskOf("fat32-512");
    const VolumeView volume(disk, 2048);
    WorkControl work;
    Fat32Class clean(volume, {});
    ASSERT_TRUE(clean.scan(work));
    ASSERT_EQ(clean.rootCluster(), 2u);
    put32(disk.bytes(), kVolume + 44, 0x0FFFFFF0);
    Fat32Class fallback(volume, {});
    ASSERT_TRUE(fallback.scan(work));
    EXPECT_EQ(fallback.rootCluster(), 2u);
    // mkfs.fat puts the root at cluster 2, so following that chain finds it all.
    const auto a = listing(clean);
    const auto b = listing(fallback);
    EXPECT_EQ(a.size(), b.size());
    for (const auto& [path, e] : a) EXPECT_TRUE(b.count(path)) << path;
}

TEST(FatDamage, FormattedDriveReadsFilesContiguously) {
    MemoryImage disk = diskOf("fat16");
    const VolumeView volume(disk, 2048);
    WorkControl work;
    Fat16Class clean(volume, {});
    ASSERT_TRUE(clean.scan(work));
    const auto paths = listing(clean);
    VectorSink guide, fragmented;
    ASSERT_TRUE(clean.saveFile(paths.at("docs/guide.txt"), guide, work));
    ASSERT_TRUE(clean.saveFile(paths.at("fragmented.bin"), fragmented, work));

    // Zero both FATs, as a quick format leaves them.
    const auto& l = clean.layout();
    std::fill(disk.bytes().begin() + kVolume + l.fatOffset, disk.bytes().begin() + kVolume + l.rootOffset, 0);
    ScanOptions formatted;
    formatted.driveFormatted = true;
    Fat16Class parser(volume, formatted);
    ASSERT_TRUE(parser.scan(work));
    const auto again = listing(parser);
    VectorSink guide2, fragmented2;
    ASSERT_TRUE(parser.saveFile(again.at("docs/guide.txt"), guide2, work));
    EXPECT_EQ(guide2.data, guide.data);
    // A fragmented file comes back as its first cluster and the clusters after
    // it on disk, up to its size: same length, different bytes.
    ASSERT_TRUE(parser.saveFile(again.at("fragmented.bin"), fragmented2, work));
    EXPECT_EQ(fragmented2.data.size(), fragmented.data.size());
    EXPECT_NE(fragmented2.data, fragmented.data);
}

TEST(FatDamage, StopEndsTheWalkAndKeepsWhatWasFound) {
    MemoryImage disk = diskOf("fat32-512");
    const VolumeView volume(disk, 2048);
    WorkControl work;
    work.requestStop();
    Fat32Class parser(volume, {});
    ASSERT_TRUE(parser.scan(work));
    const auto root = parser.rootLevel();
    EXPECT_FALSE(root.empty());
    for (const EntryRef e : root) EXPECT_TRUE(parser.children(e).empty()) << parser.name(e);
}

TEST(FatDamage, TruncatedVolumeNeverReadsPastItsEnd) {
    MemoryImage disk = diskOf("exfat");
    // Cut the disk in the middle of the volume: what lies beyond is gone.
    disk.bytes().resize(static_cast<std::size_t>(kVolume + 3 * 1024 * 1024));
    const VolumeView volume(disk, 2048);
    WorkControl work;
    Fat64Class parser(volume, {});
    ASSERT_TRUE(parser.scan(work));
    for (const auto& [path, e] : listing(parser)) {
        if (parser.isFolder(e)) continue;
        VectorSink sink;
        const bool ok = parser.saveFile(e, sink, work);
        EXPECT_LE(sink.data.size(), static_cast<std::size_t>(parser.size(e))) << path;
        if (ok) {
            EXPECT_EQ(sink.data.size(), static_cast<std::size_t>(parser.size(e))) << path;
        }
    }
}
