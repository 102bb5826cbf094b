// Damaged volumes: a zeroed boot sector (the MFT is hunted for), a boot sector
// pointing nowhere, Deep mode without boot sector, parent links that loop or
// point at a file, and garbage. Every case must end, without a crash, with what
// can still be found.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "NtfsFixture.h"

using namespace tavrel;
using namespace tavrel::fs;
using namespace tavrel::test;
using namespace tavrel::test::ntfsfx;

namespace {

struct Damaged {
    std::unique_ptr<MemoryImage> memory;
    std::unique_ptr<VolumeView> view;
    std::unique_ptr<ntfs> parser;

    void scan(int mode = 1) {
        view = std::make_unique<VolumeView>(*memory, 0);
        ScanOptions options;
        options.mode = static_cast<fs::RecoveryMode>(mode);
        parser = std::make_unique<ntfs>(*view, options);
        WorkControl work;
        parser->scan(work);
    }
};

Damaged load(const std::string& name) {
    Damaged d;
    d.memory = volumeCopy(openFixture(name));
    return d;
}

void zero(MemoryImage& m, std::size_t offset, std::size_t length) {
    std::fill(m.bytes().begin() + static_cast<std::ptrdiff_t>(offset),
              m.bytes().begin() + static_cast<std::ptrdiff_t>(offset + length), std::uint8_t{0});
}

std::string hashOf(const std::vector<ExpectedRow>& rows, const std::string& path) {
    for (const auto& r : rows)
        if (r.path == path) return r.sha;
    return {};
}

// Offset in the volume of the parent reference of the record's first $FILE_NAME.
std::size_t parentReferenceOffset(MemoryImage& m, std::int64_t recordOffset) {
    std::vector<std::uint8_t> record(m.bytes().begin() + recordOffset, m.bytes().begin() + recordOffset + 1024);
    applyFixup(record);
    for (const auto& a : collectAttributes(record))
        if (a.type == 0x30 && !a.nonResident) return static_cast<std::size_t>(recordOffset) + a.offset + a.valueOffset;
    ADD_FAILURE() << "no $FILE_NAME";
    return 0;
}

void putReference(MemoryImage& m, std::size_t at, std::uint64_t record, std::uint16_t sequence) {
    const std::uint64_t v = (std::uint64_t{sequence} << 48) | record;
    for (int i = 0; i < 8; ++i) m.bytes()[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Rewrites a record's header as NTFS 3.0 writes it: the update-sequence array
// at 0x2A, where it covers the record number of later versions.
void dropRecordNumber(MemoryImage& m, std::int64_t recordOffset) {
    auto* r = m.bytes().data() + recordOffset;
    ASSERT_EQ(r[4] | (r[5] << 8), 0x30);
    ASSERT_EQ(r[6] | (r[7] << 8), 3);
    std::memmove(r + 0x2A, r + 0x30, 6);
    r[4] = 0x2A;
}

}  // namespace

TEST(NtfsDamage, ZeroedBootSectorIsHuntedPast) {
    auto d = load("ntfs-mbr");
    const auto image = openFixture("ntfs-mbr");
    const auto rows = expectedListing("ntfs-mbr", image);
    zero(*d.memory, 0, 8192);
    d.scan(1);
    EXPECT_TRUE(d.parser->mftLocated());
    EXPECT_EQ(d.parser->clusterSize(), 4096);  // found from where the $MFT record lies
    const auto paths = treePaths(*d.parser);
    for (const auto& row : rows) {
        if (row.deleted) continue;
        EXPECT_TRUE(paths.count(row.path)) << row.path;
    }
    ASSERT_TRUE(paths.count("frag.bin"));
    EXPECT_EQ(savedHash(*d.parser, paths.at("frag.bin")), hashOf(rows, "frag.bin"));
    EXPECT_EQ(savedHash(*d.parser, paths.at("packed/mixed.bin")), hashOf(rows, "packed/mixed.bin"));
}

TEST(NtfsDamage, BootSectorPointingAtNoMftFallsBackToTheMirror) {
    auto d = load("ntfs-gpt");
    // MFT cluster field (offset 48) set far into nothing.
    for (int i = 0; i < 8; ++i) d.memory->bytes()[48 + i] = i == 2 ? 0x7F : 0;
    d.scan(1);
    EXPECT_TRUE(d.parser->mftLocated());
    EXPECT_TRUE(treePaths(*d.parser).count("dir/sub/three.bin"));
}

TEST(NtfsDamage, DeepModeFindsFilesWithoutBootSectorOrMftLocation) {
    auto d = load("ntfs-mbr");
    const auto rows = expectedListing("ntfs-mbr", openFixture("ntfs-mbr"));
    zero(*d.memory, 0, 8192);                                  // boot sector and what follows
    zero(*d.memory, d.memory->bytes().size() - 512, 512);      // backup boot sector
    zero(*d.memory, 4 * 4096, 4096);                           // $MFT record 0 and its neighbours
    d.scan(3);
    // The root (record 5) survives: its children are the top level, "ORPHAN_ENTRY" last.
    const auto top = d.parser->rootLevel();
    ASSERT_GT(top.size(), 1u);
    EXPECT_EQ(d.parser->name(top.back()), ntfs::kOrphanName);
    EXPECT_TRUE(treePaths(*d.parser).count("a/b/c/d/deep.txt"));
    std::map<std::string, EntryRef> byName;
    for (const auto& [path, ref] : treePaths(*d.parser)) byName.emplace(path.substr(path.rfind('/') + 1), ref);
    for (const char* name : {"big.bin", "small.txt", "cross.bin", "deep.txt", "Ünïcødé файл.txt", "kept.txt", "text.txt"})
        EXPECT_TRUE(byName.count(name)) << name;
    EXPECT_EQ(savedHash(*d.parser, byName.at("big.bin")), hashOf(rows, "big.bin"));
    EXPECT_EQ(savedHash(*d.parser, byName.at("cross.bin")), hashOf(rows, "cross.bin"));
    EXPECT_EQ(savedHash(*d.parser, byName.at("text.txt")), hashOf(rows, "packed/text.txt"));
    // Its name sits in an extension record; its $DATA is found through the base
    // record's attribute list, by the record numbers the records carry.
    ASSERT_TRUE(byName.count("frag.bin"));
    EXPECT_EQ(savedHash(*d.parser, byName.at("frag.bin")), hashOf(rows, "frag.bin"));
}

TEST(NtfsDamage, ParentLoopsAndFileParentsEndUnderOrphanEntry) {
    auto d = load("ntfs-mbr");
    d.scan(1);
    auto paths = treePaths(*d.parser);
    const auto& entries = d.parser->entries();
    const EntryRef a = paths.at("a"), b = paths.at("a/b"), kept = paths.at("keep/kept.txt"), small = paths.at("small.txt");
    // "a" now names its own child "b" as parent: a loop nothing reaches from the root.
    putReference(*d.memory, parentReferenceOffset(*d.memory, entries[a].recordOffset), b, entries[b].sequence);
    // "kept.txt" names a file as its parent.
    putReference(*d.memory, parentReferenceOffset(*d.memory, entries[kept].recordOffset), small, entries[small].sequence);
    // "deep.txt" names a slot whose sequence number moved on (a reused slot).
    const EntryRef deep = paths.at("a/b/c/d/deep.txt"), dFolder = paths.at("a/b/c/d");
    putReference(*d.memory, parentReferenceOffset(*d.memory, entries[deep].recordOffset), dFolder,
                 static_cast<std::uint16_t>(entries[dFolder].sequence + 7));
    d.scan(1);
    paths = treePaths(*d.parser);
    const std::string o = std::string(ntfs::kOrphanName) + "/";
    EXPECT_TRUE(paths.count(o + "a/b/c/d") || paths.count(o + "b/c/d")) << "loop not cut loose";
    EXPECT_FALSE(paths.count("a"));
    EXPECT_TRUE(paths.count(o + "kept.txt"));
    EXPECT_TRUE(paths.count(o + "deep.txt"));
    EXPECT_FALSE(paths.count("keep/kept.txt"));
}

TEST(NtfsDamage, ARecordGoneSinceTheScanIsNotAValidEntry) {
    auto d = load("ntfs-mbr");
    d.scan(1);
    const EntryRef small = treePaths(*d.parser).at("small.txt");
    const auto at = static_cast<std::size_t>(d.parser->entries()[small].recordOffset);
    std::copy_n("BAAD", 4, d.memory->bytes().begin() + static_cast<std::ptrdiff_t>(at));
    EXPECT_EQ(savedHash(*d.parser, small), "");
    EXPECT_EQ(d.parser->message(), "Not a valid entry...");
    EXPECT_EQ(d.parser->warnings().damagedRecords(), 1);
}

// A cluster of a plain and of a compressed file that cannot be read: the file
// keeps its length (the cluster's unit reads as zeros), the save says it is not
// whole, and the range is counted.
TEST(NtfsDamage, UnreadableClustersBecomeZerosAndAreCounted) {
    struct FailingCluster final : readWriteInterface {
        const readWriteInterface* inner = nullptr;
        std::int64_t bad = -1, length = 0;
        bool open(std::string) override { return true; }
        std::int64_t diskSize() const override { return inner->diskSize(); }
        bool readAt(std::int64_t offset, MutableByteSpan out) const override {
            const bool ok = inner->readAt(offset, out);
            if (offset < bad + length && offset + static_cast<std::int64_t>(out.size()) > bad) {
                std::fill(out.begin(), out.end(), std::uint8_t{0});
                return false;
            }
            return ok;
        }
    };
    auto d = load("ntfs-mbr");
    d.scan(1);
    const auto paths = treePaths(*d.parser);
    for (const char* path : {"big.bin", "packed/mixed.bin"}) {
        const EntryRef e = paths.at(path);
        const auto runs = d.parser->readRuns(d.parser->entries()[e].recordOffset, 0x80);
        ASSERT_FALSE(runs.empty()) << path;
        FailingCluster failing;
        failing.inner = d.memory.get();
        failing.bad = runs.front().lcn * d.parser->clusterSize();
        failing.length = d.parser->clusterSize();
        VolumeView view(failing, 0);
        ntfs p(view, {});
        WorkControl work;
        ASSERT_TRUE(p.scan(work));
        struct Counting : ByteSink {
            std::int64_t bytes = 0;
            bool write(ByteSpan b) override {
                bytes += static_cast<std::int64_t>(b.size());
                return true;
            }
        } sink;
        EXPECT_FALSE(p.saveFile(e, sink, work)) << path;
        EXPECT_EQ(sink.bytes, p.size(e)) << path;
        EXPECT_GE(p.warnings().unreadableRanges(), 1) << path;
    }
}

TEST(NtfsDamage, GarbageVolumesEndCleanly) {
    std::mt19937 rng(7);
    for (int round = 0; round < 4; ++round) {
        std::vector<std::uint8_t> bytes(3 << 20);
        for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
        // Boot sector that names NTFS and points at a "FILE" record full of noise,
        // and many more noisy "FILE" units for the hunt and the deep scan.
        std::copy_n("\xEBRNTFS    ", 11, bytes.begin());
        bytes[11] = 0;
        bytes[12] = 2;
        bytes[13] = static_cast<std::uint8_t>(1u << (round % 4));
        for (std::size_t at = 0; at < bytes.size(); at += 4096) std::copy_n("FILE", 4, bytes.begin() + static_cast<std::ptrdiff_t>(at));
        if (round % 2) std::fill(bytes.begin(), bytes.begin() + 512, std::uint8_t{0});
        for (int mode : {1, 3}) {
            MemoryImage m(bytes);
            VolumeView view(m, 0);
            ScanOptions options;
            options.mode = static_cast<fs::RecoveryMode>(mode);
            ntfs p(view, options);
            WorkControl work;
            p.scan(work);
            // Walk and save everything reachable.
            std::size_t saved = 0;
            for (const auto& [path, ref] : treePaths(p)) {
                struct Discard : ByteSink {
                    bool write(ByteSpan) override { return true; }
                } sink;
                p.describeEntry(ref);
                p.sizeText(ref);
                if (!p.isFolder(ref) && saved++ < 200) p.saveFile(ref, sink, work);
            }
        }
    }
}

TEST(NtfsDamage, StopEndsTheScanWithAPartialTree) {
    auto d = load("ntfs-mbr");
    d.view = std::make_unique<VolumeView>(*d.memory, 0);
    ntfs p(*d.view, {});
    WorkControl work;
    work.requestStop();
    p.scan(work);
    ASSERT_FALSE(p.rootLevel().empty());
    EXPECT_EQ(p.name(p.rootLevel().back()), ntfs::kOrphanName);
}

// Records without their own number fall back to disk order: a folder goes under
// "ORPHAN_ENTRY", a file under the unnumbered folder found last before it.
// Numbered records around them keep their real places.
TEST(NtfsDamage, DeepModePlacesRecordsWithoutNumbersByDiskOrder) {
    auto d = load("ntfs-mbr");
    d.scan(1);
    const auto paths = treePaths(*d.parser);
    const auto& entries = d.parser->entries();
    const std::int64_t keep = entries[paths.at("keep")].recordOffset, kept = entries[paths.at("keep/kept.txt")].recordOffset;
    ASSERT_LT(keep, kept);
    dropRecordNumber(*d.memory, keep);
    dropRecordNumber(*d.memory, kept);
    d.scan(3);
    const auto deep = treePaths(*d.parser);
    EXPECT_TRUE(deep.count(std::string(ntfs::kOrphanName) + "/keep/kept.txt"));
    EXPECT_FALSE(deep.count("keep"));
    EXPECT_TRUE(deep.count("a/b/c/d/deep.txt"));
}
