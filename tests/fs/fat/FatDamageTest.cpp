// Damaged volumes: one field spoiled at a time in a copy of a fixture held in
// memory. Each must give a clean answer, never a crash or an endless walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fs/fat/Fat16Class.h"
#include "fs/fat/Fat32Class.h"
#include "fs/fat/Fat64Class.h"
#include "image/FileReadSeekVHD.h"
#include "image/MemoryImage.h"
#include "support/TestSupport.h"
#include "support/FaultyReader.h"
#include "volume/ReaderOverlay.h"
#include "volume/RecordingSink.h"

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
void put64(std::vector<std::uint8_t>& b, std::int64_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) b[static_cast<std::size_t>(at + i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A reader whose reads fail where they touch [from, to) (disk offsets); the
// bytes there read as zeros.
class FailingRange : public readWriteInterface {
public:
    FailingRange(const readWriteInterface& inner, std::int64_t from, std::int64_t to)
        : inner_(inner), from_(from), to_(to) {}
    bool open(std::string) override { return true; }
    std::int64_t diskSize() const override { return inner_.diskSize(); }
    bool readAt(std::int64_t offset, MutableByteSpan out) const override {
        const bool ok = inner_.readAt(offset, out);
        const std::int64_t end = offset + static_cast<std::int64_t>(out.size());
        if (end <= from_ || offset >= to_) return ok;
        const std::int64_t lo = std::max(offset, from_) - offset;
        std::fill(out.begin() + lo, out.begin() + (std::min(end, to_) - offset), std::uint8_t{0});
        return false;
    }

private:
    const readWriteInterface& inner_;
    std::int64_t from_, to_;
};

std::unique_ptr<Parser> parserOf(const std::string& kind, const VolumeView& volume) {
    if (kind == "fat16") return std::make_unique<Fat16Class>(volume, ScanOptions{});
    if (kind == "fat32-512") return std::make_unique<Fat32Class>(volume, ScanOptions{});
    return std::make_unique<Fat64Class>(volume, ScanOptions{});
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

TEST(FatDamage, UnreadableBootSectorIsAReadErrorNotAnotherKind) {
    const std::map<std::string, std::string> kinds = {{"fat16", "Selected Drive is not in Fat16 Format"},
                                                      {"fat32-512", "Selected Drive is not in Fat32 Format"},
                                                      {"exfat", "Selected Drive is not in exFat Format"}};
    for (const auto& [name, notThisKind] : kinds) {
        MemoryImage disk = diskOf(name);
        WorkControl work;
        const test::FaultyReader failing(disk, 0, disk.diskSize(), test::FaultyReader::Fault::Unreadable);
        const auto unreadable = parserOf(name, VolumeView(failing, 2048));
        const ScanOutcome read = unreadable->scan(work);
        EXPECT_EQ(read.result, ScanResult::ReadError) << name;
        EXPECT_EQ(read.offset, 0) << name;
        EXPECT_EQ(unreadable->message(), "cannot read file") << name;

        // The boot sector and its backup copy (FAT32: sector 6; exFAT: sector 12).
        std::fill_n(disk.bytes().begin() + kVolume, 24 * 512, 0);
        const auto zeroed = parserOf(name, VolumeView(disk, 2048));
        EXPECT_EQ(zeroed->scan(work).result, ScanResult::NotThisKind) << name;
        EXPECT_EQ(zeroed->message(), notThisKind) << name;
    }
}

TEST(FatDamage, UnreadableFatOrRootIsAReadErrorAtItsOffset) {
    MemoryImage disk = diskOf("fat16");
    WorkControl work;
    Fat16Class clean(VolumeView(disk, 2048), {});
    ASSERT_TRUE(clean.scan(work));
    for (const std::int64_t at : {clean.layout().fatOffset, clean.layout().rootOffset}) {
        const FailingRange failing(disk, kVolume + at, kVolume + at + 512);
        Fat16Class parser(VolumeView(failing, 2048), {});
        const ScanOutcome o = parser.scan(work);
        EXPECT_EQ(o.result, ScanResult::ReadError);
        EXPECT_EQ(o.offset, at);
    }
}

TEST(FatDamage, ChainLeavingTheVolumeIsCountedAtItsFatEntry) {
    MemoryImage disk = diskOf("fat16");
    WorkControl work;
    Fat16Class clean(VolumeView(disk, 2048), {});
    ASSERT_TRUE(clean.scan(work));
    const FatLayout& l = clean.layout();
    const std::uint32_t guide = clean.firstCluster(clean.entries()[listing(clean).at("docs/guide.txt")]);
    // The guide's first cluster points past the last cluster of the volume.
    const std::int64_t entry = l.fatOffset + 2 * guide;
    disk.bytes()[static_cast<std::size_t>(kVolume + entry)] = 0xF0;
    disk.bytes()[static_cast<std::size_t>(kVolume + entry + 1)] = 0xFF;
    ASSERT_LT(l.clusterCount + 2, 0xFFF0u);

    Fat16Class parser(VolumeView(disk, 2048), {});
    ASSERT_TRUE(parser.scan(work));
    EXPECT_EQ(parser.warnings().total(), 0);
    VectorSink sink;
    EXPECT_FALSE(parser.saveFile(listing(parser).at("docs/guide.txt"), sink, work));
    EXPECT_EQ(sink.data.size(), static_cast<std::size_t>(l.clusterSize));
    EXPECT_EQ(parser.warnings().damagedRecords(), 1);
    EXPECT_EQ(parser.warnings().firstOffset(), entry);
}

TEST(FatDamage, UnreadableClustersAreWarningsAndReadAsZeros) {
    MemoryImage disk = diskOf("fat16");
    WorkControl work;
    Fat16Class clean(VolumeView(disk, 2048), {});
    ASSERT_TRUE(clean.scan(work));
    const auto paths = listing(clean);
    const FatLayout& l = clean.layout();
    const auto secondCluster = [&](const std::string& path) {
        const std::uint32_t first = clean.firstCluster(clean.entries()[paths.at(path)]);
        const auto at = static_cast<std::size_t>(kVolume + l.fatOffset + 2 * first);
        return static_cast<std::uint32_t>(disk.bytes()[at] | (disk.bytes()[at + 1] << 8));
    };
    // The second cluster of the folder "big" and of the file "docs/guide.txt" cannot be read.
    const std::int64_t lostFolder = l.clusterOffset(secondCluster("big"));
    const std::int64_t lostFile = l.clusterOffset(secondCluster("docs/guide.txt"));
    const FailingRange folderFails(disk, kVolume + lostFolder, kVolume + lostFolder + l.clusterSize);
    const FailingRange bothFail(folderFails, kVolume + lostFile, kVolume + lostFile + l.clusterSize);
    Fat16Class parser(VolumeView(bothFail, 2048), {});
    ASSERT_TRUE(parser.scan(work));
    EXPECT_EQ(parser.warnings().unreadableRanges(), 1);
    EXPECT_EQ(parser.warnings().firstOffset(), lostFolder);
    const auto after = listing(parser);
    const std::size_t kept = parser.children(after.at("big")).size();
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, clean.children(paths.at("big")).size());

    VectorSink whole, zeroed;
    ASSERT_TRUE(clean.saveFile(paths.at("docs/guide.txt"), whole, work));
    EXPECT_FALSE(parser.saveFile(after.at("docs/guide.txt"), zeroed, work));  // whole length, not whole content
    EXPECT_EQ(parser.warnings().unreadableRanges(), 2);
    ASSERT_EQ(zeroed.data.size(), whole.data.size());
    const auto cluster = static_cast<std::size_t>(l.clusterSize);
    std::fill_n(whole.data.begin() + static_cast<std::ptrdiff_t>(cluster), cluster, 0);
    EXPECT_EQ(zeroed.data, whole.data);
}

TEST(FatDamage, EachKindShowsItsStatusTextsInOrder) {
    const std::string fat = " File And Directory entries recursively....";
    const std::map<std::string, std::vector<std::string>> kinds = {
        {"fat16",
         {"Finding Fat16" + fat, "maintaining tree Structure in vector...", "Creating Tree Structure....",
          "Tree Structure Created."}},
        {"fat32-512",
         {"Finding Fat32" + fat, "maintaining tree Structure in vector...", "Creating Tree Structure....",
          "Tree Structure Created."}},
        {"exfat", {"processing file and directory entries...", "Finding Fat64" + fat, "creating tree Structure..."}}};
    for (const auto& [name, expected] : kinds) {
        MemoryImage disk = diskOf(name);
        test::RecordingSink sink;
        WorkControl work(&sink);
        const auto parser = parserOf(name, VolumeView(disk, 2048));
        ASSERT_EQ(parser->scan(work).result, ScanResult::Done) << name;
        std::vector<std::string> shown;
        for (const std::string& text : sink.statuses)
            if (text.rfind("filling entry =", 0) != 0) shown.push_back(text);
        EXPECT_EQ(shown, expected) << name;
        EXPECT_EQ(parser->message(), name == "exfat" ? "done..." : "") << name;
    }
}

// A boot sector that is zeroed or cannot be read gives way to its backup copy
// (FAT32: sector 6; exFAT: the boot region from sector 12, checked by its
// checksum), with a warning; the listing is the undamaged volume's.
TEST(FatDamage, BackupBootSectorStandsInForAnUnusableOne) {
    const struct {
        const char* fixture;
        bool unreadable;         // else zeroed
        std::int64_t spoilByte;  // volume offset also spoiled (the backup region), or -1
    } cases[] = {{"fat32-512", false, -1},
                 {"fat32-512", true, -1},
                 {"exfat", false, -1},
                 {"exfat", true, -1},
                 {"exfat", false, 13 * 512 + 100}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fixture) + (c.unreadable ? " unreadable" : " zeroed") +
                     (c.spoilByte >= 0 ? ", backup spoiled" : ""));
        MemoryImage disk = diskOf(c.fixture);
        WorkControl work;
        const auto clean = parserOf(c.fixture, VolumeView(disk, 2048));
        ASSERT_TRUE(clean->scan(work));
        std::map<std::string, std::int64_t> before;
        for (const auto& [path, e] : listing(*clean)) before[path] = clean->size(e);

        if (!c.unreadable) std::fill_n(disk.bytes().begin() + kVolume, 512, 0);
        if (c.spoilByte >= 0) disk.bytes()[static_cast<std::size_t>(kVolume + c.spoilByte)] ^= 0x5A;
        const test::FaultyReader failing(disk, kVolume, kVolume + 512, test::FaultyReader::Fault::Unreadable);
        const readWriteInterface& reader = c.unreadable ? static_cast<const readWriteInterface&>(failing) : disk;
        test::RecordingSink sink;
        WorkControl watched(&sink);
        const auto parser = parserOf(c.fixture, VolumeView(reader, 2048));
        const ScanOutcome o = parser->scan(watched);
        if (c.spoilByte >= 0) {
            EXPECT_EQ(o.result, ScanResult::NotThisKind);
            EXPECT_EQ(parser->message(), "Selected Drive is not in exFat Format");
            continue;
        }
        ASSERT_EQ(o.result, ScanResult::Done) << parser->message();
        std::map<std::string, std::int64_t> after;
        for (const auto& [path, e] : listing(*parser)) after[path] = parser->size(e);
        EXPECT_EQ(after, before);
        EXPECT_TRUE(sink.saw("boot sector corrupt.Using backup boot sector..."));
        EXPECT_EQ(c.unreadable ? parser->warnings().unreadableRanges() : parser->warnings().damagedRecords(), 1);
        EXPECT_EQ(parser->warnings().firstOffset(), 0);
    }
}

namespace {

// The fixture's disk, followed by `fill` bytes up to `size` bytes that the
// image does not store; counts the bytes read.
class PaddedDisk : public readWriteInterface {
public:
    PaddedDisk(const readWriteInterface& inner, std::int64_t size, std::uint8_t fill)
        : inner_(inner), size_(size), fill_(fill) {}
    bool open(std::string) override { return true; }
    std::int64_t diskSize() const override { return size_; }
    bool readAt(std::int64_t offset, MutableByteSpan out) const override {
        bytesRead += static_cast<std::int64_t>(out.size());
        const std::int64_t stored = inner_.diskSize();
        const std::int64_t inside = std::clamp<std::int64_t>(stored - offset, 0, static_cast<std::int64_t>(out.size()));
        std::fill(out.begin() + inside, out.end(), fill_);
        return inside == 0 || inner_.readAt(offset, out.first(static_cast<std::size_t>(inside)));
    }
    mutable std::atomic<std::int64_t> bytesRead{0};

private:
    const readWriteInterface& inner_;
    std::int64_t size_;
    std::uint8_t fill_;
};

}  // namespace

// An exFAT folder whose clusters follow each other and that claims 2^41 bytes
// on a 2 GiB volume: its entry of type 0x00 ends it, and what it names is read
// up to 256 MiB at most, so the scan reads a bounded amount whatever the folder
// claims; the other folders keep their entries.
TEST(FatDamage, ExFatFolderClaimingTerabytesEndsAtItsEndOrAt256MiB) {
    constexpr std::int64_t kDisk = std::int64_t{2} << 30;
    constexpr std::int64_t kMiB = 1 << 20;
    const struct {
        const char* folder;      // one cluster ("docs") or several
        std::uint8_t fill;       // what the unstored rest of the volume reads as
        bool moveBeyond;         // the folder's first cluster moved into that rest
        std::int64_t readBound;  // bytes the scan may read
    } cases[] = {{"docs", 0x00, false, 8 * kMiB}, {"big", 0xFF, true, 256 * kMiB + 8 * kMiB}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        MemoryImage disk = diskOf("exfat");
        WorkControl work;
        Fat64Class clean(VolumeView(disk, 2048), {});
        ASSERT_TRUE(clean.scan(work));
        const auto paths = listing(clean);
        const ExFatEntry& big = clean.entries()[paths.at(c.folder)];
        const ExFatLayout& l = clean.layout();
        std::int64_t stream = -1;
        for (std::int64_t at = std::max<std::int64_t>(0, big.where - l.clusterSize);
             at < big.where + l.clusterSize && stream < 0; at += 32) {
            const auto* e = disk.bytes().data() + kVolume + at;
            const auto cluster = static_cast<std::uint32_t>(e[20] | e[21] << 8 | e[22] << 16 | e[23] << 24);
            if (e[0] == 0xC0 && cluster == big.set.firstCluster) stream = kVolume + at;
        }
        ASSERT_GE(stream, 0);
        // The volume now spans the 2 GiB disk: the cluster count and the FAT grow with it.
        const auto clusters = static_cast<std::uint32_t>((kDisk - kVolume - l.heapOffset) / l.clusterSize);
        put32(disk.bytes(), kVolume + 92, clusters);
        put32(disk.bytes(), kVolume + 84, static_cast<std::uint32_t>((4 * (std::int64_t{clusters} + 2)) / 512 + 1));
        disk.bytes()[static_cast<std::size_t>(stream + 1)] |= 0x02;  // contiguous
        if (c.moveBeyond) put32(disk.bytes(), stream + 20, clusters / 2);
        put64(disk.bytes(), stream + 8, std::uint64_t{1} << 41);
        put64(disk.bytes(), stream + 24, std::uint64_t{1} << 41);

        const PaddedDisk padded(disk, kDisk, c.fill);
        Fat64Class parser(VolumeView(padded, 2048), {});
        ASSERT_TRUE(parser.scan(work));
        EXPECT_LE(padded.bytesRead.load(), c.readBound);
        const auto after = listing(parser);
        for (const auto& [path, e] : paths) {
            if (c.moveBeyond && path.rfind(std::string(c.folder) + "/", 0) == 0) continue;  // elsewhere now
            EXPECT_TRUE(after.count(path)) << path;
        }
        if (!c.moveBeyond) {
            EXPECT_EQ(after.size(), paths.size());
        }
    }
}
