// Bounds and outcomes of the NTFS scan: a forged $MFT on a tiny dynamic VHD that
// claims a 2 TiB disk is listed in bounded memory (in process, and by tavrel-cli
// under an address-space limit); listing a scanned volume reads nothing more;
// each way a scan can end gives its outcome.
#include <gtest/gtest.h>

#include <atomic>

#include "NtfsFixture.h"
#include "app/ShellVhdBuilder.h"

using namespace tavrel;
using namespace tavrel::fs;
using namespace tavrel::test;
using namespace tavrel::test::ntfsfx;

namespace {

// Counts the reads that reach the image.
class CountingReader final : public readWriteInterface {
public:
    explicit CountingReader(const readWriteInterface& inner) : inner_(inner) { fileLength = inner.fileLength; }
    bool open(std::string) override { return true; }
    std::int64_t diskSize() const override { return inner_.diskSize(); }
    bool isUnallocated(std::int64_t offset, std::int64_t length) const override {
        return inner_.isUnallocated(offset, length);
    }
    bool readAt(std::int64_t offset, MutableByteSpan out) const override {
        ++reads;
        return inner_.readAt(offset, out);
    }
    mutable std::atomic<std::int64_t> reads{0};

private:
    const readWriteInterface& inner_;
};

// A disk whose every read fails.
class UnreadableDisk final : public readWriteInterface {
public:
    bool open(std::string) override { return true; }
    std::int64_t diskSize() const override { return 1 << 20; }
    bool readAt(std::int64_t, MutableByteSpan out) const override {
        std::fill(out.begin(), out.end(), std::uint8_t{0});
        return false;
    }
};

void putLe(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The ntfs-mbr fixture's volume with its $MFT claiming the whole partition (run
// length and sizes), a boot sector and a partition of nearly 2 TiB, written as a
// dynamic VHD of 2 TiB that stores only the volume's first 2 MiB (or as a raw
// image of 2 TiB that the host stores sparsely).
std::filesystem::path forgedImage(const TempDir& dir, bool raw = false) {
    const Image image = openFixture("ntfs-mbr");
    auto volume = volumeCopy(image);
    std::vector<std::uint8_t>& v = volume->bytes();
    const std::uint64_t start = static_cast<std::uint64_t>(image.startSector);
    const std::uint64_t sectors = 0xFFFFFFFFu - start;
    const NtfsBoot boot = decodeBootSector(v);
    putLe(v, 40, sectors - 1, 8);

    const auto mftAt = static_cast<std::size_t>(boot.mftCluster * boot.clusterSize);
    std::vector<std::uint8_t> record(v.begin() + static_cast<std::ptrdiff_t>(mftAt),
                                     v.begin() + static_cast<std::ptrdiff_t>(mftAt + 1024));
    applyFixup(record);
    const std::uint64_t clusters = (sectors - 1) * 512 / static_cast<std::uint64_t>(boot.clusterSize) - 8;
    bool forged = false;
    for (const auto& a : collectAttributes(record)) {
        if (a.type != 0x80 || !a.nonResident || a.nameLength != 0) continue;
        const std::size_t at = mftAt + a.offset;
        putLe(v, at + 24, clusters - 1, 8);                   // last VCN
        for (std::size_t f : {40, 48, 56}) putLe(v, at + f, clusters * static_cast<std::uint64_t>(boot.clusterSize), 8);
        // One run: 4-byte length, 1-byte cluster number.
        if (a.length < a.runListOffset + 7u || boot.mftCluster >= 128) break;
        const std::size_t runs = at + a.runListOffset;
        v[runs] = 0x14;
        putLe(v, runs + 1, clusters, 4);
        v[runs + 5] = static_cast<std::uint8_t>(boot.mftCluster);
        v[runs + 6] = 0;
        forged = true;
    }
    EXPECT_TRUE(forged) << "the $MFT record's $DATA could not be forged";

    VhdSpec spec;
    spec.diskBytes = std::uint64_t{1} << 41;
    spec.sectors[0] = mbrSector(0x07, static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(sectors));
    for (std::size_t s = 0; s < 4096; ++s)
        spec.sectors[start + s] = std::vector<std::uint8_t>(v.begin() + static_cast<std::ptrdiff_t>(s * 512),
                                                            v.begin() + static_cast<std::ptrdiff_t>(s * 512 + 512));
    const auto path = dir / (raw ? "forged.img" : "forged.vhd");
    if (raw) {
        writeSparseRaw(path, spec);
    } else {
        writeDynamicVhd(path, spec);
    }
    return path;
}

}  // namespace

TEST(NtfsBounds, ForgedMftOverATinyImageIsListedInBoundedMemory) {
    TempDir dir;
    const auto path = forgedImage(dir);
    FileReadSeekVHD vhd;
    ASSERT_TRUE(vhd.open(path.string()));
    ASSERT_EQ(vhd.diskSize(), std::int64_t{1} << 41);
    VolumeView view(vhd, 2048, 0xFFFFFFFFu - 2048);
    ntfs p(view, {});
    WorkControl work;
    const ScanOutcome outcome = p.scan(work);
    EXPECT_EQ(outcome.result, ScanResult::Done) << outcome.text;
    // Slots only where the image stores bytes: never more than its file could
    // hold records.
    EXPECT_LE(p.entries().size(), static_cast<std::size_t>(vhd.fileLength / p.recordSize()) + 1);
    EXPECT_TRUE(p.layout().cut() || p.layout().size() < 4096);
    EXPECT_TRUE(treePaths(p).count("$MFT"));

    // The same image through tavrel-cli, in a child limited to 512 MiB of
    // address space (not under AddressSanitizer, whose shadow memory alone
    // reserves terabytes).
#if defined(__SANITIZE_ADDRESS__)
    const std::string limit;
#else
    const std::string limit = "ulimit -v 524288; ";
#endif
    const auto r = runCommand("sh -c " + shellQuote(limit + shellQuote(cliPath()) + " ls " + shellQuote(path.string()) +
                                                    " --volume 0"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("$MFT"), std::string::npos) << r.out.substr(0, 2000);
}

// As a raw image every claimed byte counts as stored, so the $MFT's two billion
// records are believed: under the same limit the scan ends with its message and
// exit status 2, never an abort.
TEST(NtfsBounds, ClaimsBeyondTheMemoryLimitEndWithAMessage) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space: no limit can be set";
#endif
    TempDir dir;
    const auto path = forgedImage(dir, true);
    const auto r = runCommand("sh -c " + shellQuote("ulimit -v 524288; " + shellQuote(cliPath()) + " ls " +
                                                    shellQuote(path.string()) + " --volume 0"));
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_NE(r.err.find("the volume claims more than this computer can hold in memory"), std::string::npos) << r.err;
}

TEST(NtfsBounds, ListingAfterTheScanReadsNothing) {
    const Image image = openFixture("ntfs-mbr");
    CountingReader counting(*image.vhd);
    VolumeView view(counting, image.startSector);
    ntfs p(view, {});
    WorkControl work;
    ASSERT_TRUE(p.scan(work));
    const std::int64_t afterScan = counting.reads.load();
    std::size_t listed = 0;
    for (const auto& [path, ref] : treePaths(p)) {
        p.size(ref);
        p.sizeText(ref);
        p.times(ref);
        p.describeEntry(ref);
        ++listed;
    }
    EXPECT_GT(listed, 25u);
    EXPECT_EQ(counting.reads.load() - afterScan, 0);
}

TEST(NtfsBounds, EachWayAScanEndsHasItsOutcome) {
    const Image image = openFixture("ntfs-mbr");
    const auto healthy = volumeCopy(image);
    const NtfsBoot boot = decodeBootSector(ByteSpan(healthy->bytes()).first(512));
    auto noMft = volumeCopy(image);
    for (const std::int64_t cluster : {boot.mftCluster, boot.mftMirrorCluster})
        std::fill_n(noMft->bytes().begin() + cluster * boot.clusterSize, 1024, std::uint8_t{0});
    MemoryImage zeros(std::vector<std::uint8_t>(1 << 20));
    UnreadableDisk unreadable;

    struct Case {
        const char* what;
        const readWriteInterface* disk;
        bool stop;
        ScanResult result;
        std::int64_t offset;
    };
    const Case cases[] = {
        {"healthy", healthy.get(), false, ScanResult::Done, -1},
        {"stopped", healthy.get(), true, ScanResult::Stopped, -1},
        {"no $MFT record anywhere", noMft.get(), false, ScanResult::Damaged, boot.mftCluster * boot.clusterSize},
        {"zeros", &zeros, false, ScanResult::NotThisKind, 0},
        {"unreadable", &unreadable, false, ScanResult::ReadError, 0},
    };
    for (const Case& c : cases) {
        VolumeView view(*c.disk, 0);
        ntfs p(view, {});
        WorkControl work;
        if (c.stop) work.requestStop();
        const ScanOutcome outcome = p.scan(work);
        EXPECT_EQ(outcome.result, c.result) << c.what;
        EXPECT_EQ(outcome.offset, c.offset) << c.what;
        EXPECT_EQ(outcome.ok(), c.result == ScanResult::Done || c.result == ScanResult::Stopped) << c.what;
        EXPECT_EQ(p.name(p.rootLevel().back()), ntfs::kOrphanName) << c.what;
    }
}
