// The directory-cluster scan on the committed FAT16, FAT32 and exFAT fixtures
// (made by mkfs.fat / mkfs.exfat and filled by real writers): it finds the
// first cluster of every folder the standard walk reaches, takes no file's
// cluster for a directory, and bounds and skips as asked. One slot is damaged
// at a time to see each plausibility test refuse it.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "fs/fat/Fat16Class.h"
#include "fs/fat/Fat32Class.h"
#include "fs/fat/Fat64Class.h"
#include "fs/fat/SlotScan.h"
#include "image/FileReadSeekVHD.h"
#include "support/TestSupport.h"

using namespace tavrel;
using namespace tavrel::fs::fat;

namespace {

constexpr std::int64_t kVolumeSector = 2048;

struct Clusters {
    std::set<std::uint32_t> folders;  // first clusters of folders the walk reached
    std::set<std::uint32_t> files;    // first clusters of files with content
};

template <typename Parser>
Clusters walkedClusters(const Parser& p) {
    Clusters c;
    for (std::size_t i = 1; i < p.entries().size(); ++i) {
        const auto& e = p.entries()[i];
        const std::uint32_t first = p.firstCluster(e);
        if (!p.heap().validCluster(first)) continue;
        if (e.folder() && !e.deleted()) c.folders.insert(first);
        if (!e.folder() && !e.deleted() && e.size() > 0) c.files.insert(first);
    }
    return c;
}

template <typename Parser>
void checkFixture(const char* name, SlotFamily family) {
    SCOPED_TRACE(name);
    FileReadSeekVHD vhd;
    ASSERT_TRUE(vhd.open(test::unpackedFixture(std::string("fat/") + name + ".vhd.xz").string()));
    const VolumeView volume(vhd, kVolumeSector);
    Parser parser(volume, {});
    WorkControl work;
    ASSERT_TRUE(parser.scan(work).ok());
    const Clusters walked = walkedClusters(parser);
    ASSERT_FALSE(walked.folders.empty());

    const ClusterHeap& heap = parser.heap();
    const SlotLimits limits{heap.clusterCount, static_cast<std::uint64_t>(volume.size())};
    fs::Warnings warnings;
    const auto area = SlotScanArea::heap(heap.heapOffset, heap.clusterSize, heap.clusterCount);
    const SlotScanResult all = scanForDirectories(volume, family, area, limits, {}, work, warnings);
    std::set<std::uint32_t> found;
    for (const FoundDirectory& d : all.found) {
        found.insert(d.cluster);
        EXPECT_EQ(d.offset, heap.clusterOffset(d.cluster));
    }
    for (const std::uint32_t c : walked.folders) EXPECT_TRUE(found.count(c)) << "folder cluster " << c;
    for (const std::uint32_t c : walked.files) EXPECT_FALSE(found.count(c)) << "file cluster " << c;
    EXPECT_FALSE(all.truncated);

    // Skipped clusters are not reported; the count bound truncates.
    const std::uint32_t skipped = *walked.folders.begin();
    const auto without = scanForDirectories(volume, family, area, limits, {}, work, warnings,
                                            [&](std::uint32_t c) { return c == skipped; });
    EXPECT_EQ(without.found.size(), all.found.size() - 1);
    SlotScanLimits one;
    one.maxFound = 1;
    const auto bounded = scanForDirectories(volume, family, area, limits, one, work, warnings);
    EXPECT_EQ(bounded.found.size(), 1u);
    EXPECT_TRUE(bounded.truncated);

    // The same clusters seen as a byte range of the volume.
    const auto range = SlotScanArea::range(heap.heapOffset, volume.size(), heap.clusterSize);
    EXPECT_EQ(scanForDirectories(volume, family, range, limits, {}, work, warnings).found.size(), all.found.size());

    // A stop before the first chunk finds nothing.
    WorkControl stopped;
    stopped.requestStop();
    const auto none = scanForDirectories(volume, family, area, limits, {}, stopped, warnings);
    EXPECT_TRUE(none.stopped);
    EXPECT_TRUE(none.found.empty());
}

// A live FAT directory cluster: ".", "..", a long name and its short slot.
std::vector<std::uint8_t> fatCluster() {
    std::vector<std::uint8_t> c(512);
    auto put = [&](std::size_t slot, const char* name11, std::uint8_t attr, std::uint16_t cluster, std::uint32_t size) {
        std::uint8_t* s = c.data() + slot * 32;
        std::copy_n(name11, 11, s);
        s[11] = attr;
        s[16] = 0x21;  // 1980-01-01
        s[24] = 0x21;
        s[26] = static_cast<std::uint8_t>(cluster);
        s[27] = static_cast<std::uint8_t>(cluster >> 8);
        for (int i = 0; i < 4; ++i) s[28 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    };
    put(0, ".          ", 0x10, 5, 0);
    put(1, "..         ", 0x10, 0, 0);
    put(3, "LONGNA~1TXT", 0x20, 6, 100);
    std::uint8_t* l = c.data() + 2 * 32;
    l[0] = 0x41;
    l[11] = 0x0F;
    const char16_t name[] = u"longname.txt";
    static constexpr std::size_t offsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    for (std::size_t i = 0; i < 13; ++i) {
        const std::uint16_t unit = i < 12 ? name[i] : 0;
        l[offsets[i]] = static_cast<std::uint8_t>(unit);
        l[offsets[i] + 1] = static_cast<std::uint8_t>(unit >> 8);
    }
    std::array<std::uint8_t, 11> shortName{};
    std::copy_n(c.data() + 3 * 32, 11, shortName.begin());
    l[13] = shortNameChecksum(shortName);
    return c;
}

}  // namespace

TEST(SlotScan, FindsEveryWalkedFolderAndNoFile) {
    checkFixture<Fat16Class>("fat16", SlotFamily::Fat);
    checkFixture<Fat32Class>("fat32-512", SlotFamily::Fat);
    checkFixture<Fat64Class>("exfat", SlotFamily::ExFat);
}

TEST(SlotScan, EachDamagedFieldRefusesTheFatCluster) {
    const SlotLimits limits{100, 1 << 20};
    const auto good = fatCluster();
    DirectoryLook look;
    ASSERT_TRUE(looksLikeDirectory(SlotFamily::Fat, good, limits, &look));
    EXPECT_TRUE(look.dotFirst);
    EXPECT_EQ(look.entries, 1u);
    const struct {
        const char* what;
        std::size_t offset;
        std::uint8_t value;
    } damage[] = {
        {"name character", 3 * 32 + 2, '*'},       {"unused attribute bit", 3 * 32 + 11, 0x60},
        {"case flags", 3 * 32 + 12, 0x01},         {"write date month 0", 3 * 32 + 24, 0x01},
        {"cluster past the volume", 3 * 32 + 27, 0x10}, {"long-name checksum", 2 * 32 + 13, 0x00},
        {"long-name type byte", 2 * 32 + 12, 0x01},     {"long-name sequence 0", 2 * 32, 0x40},
    };
    for (const auto& d : damage) {
        SCOPED_TRACE(d.what);
        auto bad = good;
        if (bad[d.offset] == d.value) bad[d.offset] ^= 1;  // keep the case meaningful
        else bad[d.offset] = d.value;
        EXPECT_FALSE(looksLikeDirectory(SlotFamily::Fat, bad, limits));
    }
    // Deleted slots pass the same tests; a cluster of zeros is no directory.
    auto deleted = good;
    deleted[2 * 32] = kDeletedMark;
    deleted[3 * 32] = kDeletedMark;
    ASSERT_TRUE(looksLikeDirectory(SlotFamily::Fat, deleted, limits, &look));
    EXPECT_EQ(look.deleted, 1u);
    EXPECT_FALSE(looksLikeDirectory(SlotFamily::Fat, std::vector<std::uint8_t>(512), limits));
}
