// VHDX, qcow2 and E01 images made by qemu-img and ewfacquire from one known disk
// serve exactly that disk, a differencing VHDX serves its parent overlaid with
// its own blocks, the NTFS fixture recovers from each with the same bytes as
// from its VHD, and cut or damaged files give a clean refusal or failed reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <thread>

#include "cli/CliHelpers.h"
#include "image/ImageOpener.h"
#include "image/ImageTexts.h"
#include "support/LibraryImages.h"

using namespace tavrel;
using namespace tavrel::test;
namespace fsys = std::filesystem;

namespace {

const char* kFixture = "ntfs/ntfs-mbr.vhd.xz";

std::string field(const ImageInfo& info, const std::string& key) {
    for (const InfoField& f : info.fields)
        if (f.key == key) return f.value.text;
    return {};
}

// Reads the whole disk in runs that straddle every block, cluster and chunk
// size; counts runs that differ from `disk` and runs that fail.
struct Pass {
    int mismatches = 0;
    int failures = 0;
};
Pass readWhole(const readWriteInterface& r, const std::vector<std::uint8_t>& disk) {
    constexpr std::size_t kRun = 1048576 + 3 * 512 + 100;
    std::vector<std::uint8_t> buf(kRun);
    Pass p;
    const auto size = static_cast<std::int64_t>(disk.size());
    for (std::int64_t at = 0; at < size; at += kRun) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(kRun, size - at));
        if (!r.readAt(at, std::span(buf).first(n))) ++p.failures;
        if (!std::equal(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(n), disk.begin() + at)) ++p.mismatches;
    }
    return p;
}

std::string firstWord(const std::string& text) { return text.substr(0, text.find(' ')); }

}  // namespace

TEST(LibraryFormats, EveryImageServesItsDisk) {
    const LibraryImages* made = libraryImages(kFixture);
    if (!made) GTEST_SKIP() << "qemu-img, ewfacquire, python3 or a format's library missing";
    const std::vector<std::uint8_t> disk = readFileBytes(made->raw);
    const std::vector<std::uint8_t> childDisk = readFileBytes(made->childDisk);
    const std::vector<std::uint8_t> overlayDisk = readFileBytes(made->overlayDisk);
    std::vector<ConvertedImage> images = made->images;
    images.push_back({"differencing.vhdx", made->child, "vhdx-differencing"});
    images.push_back({"overlay.qcow2", made->overlay, "qcow2"});
    const std::map<std::string, std::string> versions = {
        {"dynamic.vhdx", "1.0"}, {"fixed.vhdx", "1.0"},       {"plain.qcow2", "3"},
        {"compressed.qcow2", "3"}, {"v2.qcow2", "2"},         {"renamed qcow2", "3"},
        {"differencing.vhdx", "1.0"}, {"small.qcow2", "3"},   {"big.qcow2", "2"},
        {"overlay.qcow2", "3"},
    };
    for (const ConvertedImage& image : images) {
        SCOPED_TRACE(image.layout);
        const OpenedImage opened = openImage(image.path.string());
        ASSERT_TRUE(opened) << opened.message;
        const ImageInfo info = opened.reader->describe();
        EXPECT_EQ(info.format, image.format);
        const auto& want = image.format == "vhdx-differencing" ? childDisk
                           : image.path == made->overlay  ? overlayDisk
                                                          : disk;
        EXPECT_EQ(info.diskSize, static_cast<std::int64_t>(want.size()));
        const auto version = versions.find(image.layout);
        EXPECT_EQ(info.version ? info.version->text : "", version == versions.end() ? "" : version->second);
        const Pass p = readWhole(*opened.reader, want);
        EXPECT_EQ(p.mismatches, 0);
        EXPECT_EQ(p.failures, 0);
        std::vector<std::uint8_t> tail(1024);
        EXPECT_FALSE(opened.reader->readAt(info.diskSize - 512, tail));
    }
    // What the formats record: the parent's name, the acquisition and its hashes.
    EXPECT_EQ(field(openImage(made->child.string()).reader->describe(), "parent"), "C:\\Images\\parent.vhdx");
    const ImageInfo segments = openImage(made->images[6].path.string()).reader->describe();
    EXPECT_EQ(field(segments, "segments"), "4");
    EXPECT_EQ(field(segments, "case_number"), "Case 42");
    EXPECT_EQ(field(segments, "examiner"), "Jane Roe");
    EXPECT_EQ(field(segments, "ewf_format"), "EnCase 6");
    EXPECT_EQ(field(segments, "md5"), firstWord(runCommand("md5sum " + q(made->raw)).out));
    const ImageInfo best = openImage(made->images[7].path.string()).reader->describe();
    EXPECT_EQ(field(best, "sha1"), firstWord(runCommand("sha1sum " + q(made->raw)).out));
}

// Threads reading one image at once share its lanes and still each get the disk.
TEST(LibraryFormats, SeveralThreadsReadOneImage) {
    const LibraryImages* made = libraryImages(kFixture);
    if (!made) GTEST_SKIP() << "qemu-img, ewfacquire, python3 or a format's library missing";
    const std::vector<std::uint8_t> disk = readFileBytes(made->raw);
    for (const std::size_t i : {0, 3, 7}) {  // dynamic VHDX, compressed qcow2, compressed E01
        SCOPED_TRACE(made->images[i].layout);
        const OpenedImage opened = openImage(made->images[i].path.string());
        ASSERT_TRUE(opened) << opened.message;
        std::vector<Pass> passes(3);
        {
            std::vector<std::jthread> readers;
            for (Pass& p : passes) readers.emplace_back([&] { p = readWhole(*opened.reader, disk); });
        }
        for (const Pass& p : passes) EXPECT_EQ(p.mismatches + p.failures, 0);
    }
}

// What the qcow2 reader skips as holding nothing is what qemu-img map says holds
// no data, and every range with data is read. Over a backing file only the
// image's own ranges are known empty.
TEST(LibraryFormats, QcowEmptyRangesAgreeWithQemuImgMap) {
    const LibraryImages* made = libraryImages(kFixture);
    if (!made) GTEST_SKIP() << "qemu-img, ewfacquire, python3 or a format's library missing";
    for (const fsys::path& path : {made->images[2].path, made->images[8].path, made->images[9].path, made->overlay}) {
        SCOPED_TRACE(path.filename().string());
        const OpenedImage opened = openImage(path.string());
        ASSERT_TRUE(opened) << opened.message;
        const auto map = nlohmann::json::parse(runCommand("qemu-img map --output=json " + q(path)).out);
        int empty = 0;
        for (const auto& e : map) {
            const std::int64_t start = e.at("start"), length = e.at("length");
            if (e.at("data")) {
                EXPECT_EQ(opened.reader->nextStored(start), start) << start;
                EXPECT_FALSE(opened.reader->isUnallocated(start, length)) << start;
            } else if (e.at("depth") == 0) {
                EXPECT_GE(opened.reader->nextStored(start), start + length) << start;
                EXPECT_TRUE(opened.reader->isUnallocated(start, length)) << start;
                ++empty;
            }
        }
        EXPECT_GT(empty, 0);
    }
}

TEST(LibraryFormats, VhdxSaysWhichBlocksItStores) {
    const LibraryImages* made = libraryImages(kFixture);
    if (!made) GTEST_SKIP() << "qemu-img, ewfacquire, python3 or a format's library missing";
    TempDir dir;
    // 4 GiB of 1 MiB blocks with 64 KiB of data in block 3077, made from a sparse raw disk.
    constexpr std::int64_t kMiB = 1048576, kDataAt = 3077 * kMiB;
    const auto raw = dir / "d.raw";
    writeFileBytes(raw, std::vector<std::uint8_t>(65536, 0x5A));
    ASSERT_EQ(runCommand("dd if=" + q(raw) + " of=" + q(dir / "s.raw") + " bs=1M seek=3077 status=none && "
                         "truncate -s 4G " + q(dir / "s.raw") + " && qemu-img convert -f raw -O vhdx -o block_size=1M " +
                         q(dir / "s.raw") + " " + q(dir / "d.vhdx")).exitCode, 0);
    const OpenedImage data = openImage((dir / "d.vhdx").string());
    ASSERT_TRUE(data) << data.message;
    EXPECT_EQ(data.reader->nextStored(0), kDataAt);
    EXPECT_EQ(data.reader->nextStored(kDataAt + 4096), kDataAt + 4096);
    EXPECT_EQ(data.reader->nextStored(kDataAt + kMiB), data.reader->diskSize());
    EXPECT_TRUE(data.reader->isUnallocated(0, kDataAt));
    EXPECT_FALSE(data.reader->isUnallocated(kDataAt - 512, 1024));
    std::vector<std::uint8_t> block(65536);
    EXPECT_TRUE(data.reader->readAt(kDataAt, block));
    EXPECT_EQ(block, std::vector<std::uint8_t>(65536, 0x5A));

    // An empty disk of 64 TiB stores nothing: the boot-record scan has nothing to read.
    ASSERT_EQ(runCommand("qemu-img create -q -f vhdx " + q(dir / "e.vhdx") + " 64T").exitCode, 0);
    const OpenedImage empty = openImage((dir / "e.vhdx").string());
    ASSERT_TRUE(empty) << empty.message;
    EXPECT_EQ(empty.reader->diskSize(), std::int64_t{64} << 40);
    EXPECT_EQ(empty.reader->nextStored(0), empty.reader->diskSize());
    EXPECT_TRUE(empty.reader->isUnallocated(0, empty.reader->diskSize()));
    const auto volumes = cli("volumes " + q(dir / "e.vhdx") + " --advanced --json");
    EXPECT_EQ(volumes.out, "") << volumes.err;
}

TEST(LibraryFormats, NtfsFixtureRecoversAsFromTheVhd) {
    const LibraryImages* made = libraryImages(kFixture);
    if (!made) GTEST_SKIP() << "qemu-img, ewfacquire, python3 or a format's library missing";
    const auto vhd = unpackedFixture(kFixture);
    const auto volumes = cli("volumes --json " + q(vhd)).out;
    TempDir vhdOut;
    const auto r = cli("recover " + q(vhd) + " --volume 0 --out " + q(vhdOut.path()));
    ASSERT_TRUE(r.exitCode == 0 || r.exitCode == 1) << r.err;
    const auto vhdFiles = hashesBelow(vhdOut.path());
    ASSERT_FALSE(vhdFiles.empty());
    for (const std::size_t i : {0, 3, 6}) {  // dynamic VHDX, compressed qcow2, E01 segments
        const ConvertedImage& image = made->images[i];
        SCOPED_TRACE(image.layout);
        const auto info = nlohmann::json::parse(cli("info --json " + q(image.path)).out);
        EXPECT_EQ(info.at("format"), image.format);
        if (image.format == "e01") {
            EXPECT_EQ(info.at("case_number"), "Case 42");
        }
        EXPECT_EQ(cli("volumes --json " + q(image.path)).out, volumes);
        TempDir out;
        const auto rec = cli("recover " + q(image.path) + " --volume 0 --out " + q(out.path()));
        EXPECT_TRUE(rec.exitCode == 0 || rec.exitCode == 1) << rec.err;
        EXPECT_EQ(hashesBelow(out.path()), vhdFiles);
    }
}

TEST(LibraryFormats, ParentIsLookedForBesideTheImageOnly) {
    const LibraryImages* made = libraryImages(kFixture);
    if (!made) GTEST_SKIP() << "qemu-img, ewfacquire, python3 or a format's library missing";
    // The parent one folder up, the child alone in its own folder.
    TempDir dir;
    fsys::create_directories(dir / "child");
    fsys::copy_file(made->folder / "diff/parent.vhdx", dir / "parent.vhdx");
    fsys::copy_file(made->child, dir / "child/child.vhdx");
    const OpenedImage opened = openImage((dir / "child/child.vhdx").string());
    EXPECT_FALSE(opened);
    EXPECT_EQ(opened.message, imagetexts::parentNotBeside("vhdx", "C:\\Images\\parent.vhdx"));
    // A parent of another disk under the recorded name does not fit the child.
    const auto other = dir / "child/parent.vhdx";
    fsys::copy_file(made->images[0].path, other);
    EXPECT_EQ(openImage((dir / "child/child.vhdx").string()).message,
              imagetexts::parentUnreadable("vhdx", "C:\\Images\\parent.vhdx"));

    // A link beside the image that leads out of its folder is not the parent,
    // for a qcow2 backing file as for a VHDX parent.
    fsys::remove(other);
    fsys::create_symlink(dir / "parent.vhdx", other);
    EXPECT_EQ(openImage((dir / "child/child.vhdx").string()).message,
              imagetexts::parentNotBeside("vhdx", "C:\\Images\\parent.vhdx"));
    fsys::copy_file(made->overlay.parent_path() / "base.qcow2", dir / "base.qcow2");
    fsys::copy_file(made->overlay, dir / "child/overlay.qcow2");
    fsys::create_symlink(dir / "base.qcow2", dir / "child/base.qcow2");
    EXPECT_EQ(openImage((dir / "child/overlay.qcow2").string()).message,
              imagetexts::parentNotBeside("qcow2", "base.qcow2"));
}

TEST(LibraryFormats, E01SegmentsMustAllBeInTheFolder) {
    const LibraryImages* made = libraryImages(kFixture);
    if (!made) GTEST_SKIP() << "qemu-img, ewfacquire, python3 or a format's library missing";
    const fsys::path first = made->images[6].path;  // disk.E01 .. disk.E04
    struct Case {
        const char* what;
        const char* segment;  // the segment taken away
        bool link;            // replaced by a link to a copy outside the folder
        std::string refusal;
    };
    const std::vector<Case> cases = {
        {"second segment missing", "disk.E02", false, imagetexts::e01SegmentMissing("disk.E02")},
        {"last segment missing", "disk.E04", false, imagetexts::e01SegmentMissing("disk.E04")},
        {"segment linked from outside", "disk.E03", true, imagetexts::e01SegmentRefused("disk.E03")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        fsys::create_directories(dir / "set");
        for (const char* name : {"disk.E01", "disk.E02", "disk.E03", "disk.E04"})
            if (name != std::string(c.segment)) fsys::copy_file(first.parent_path() / name, dir / "set" / name);
        if (c.link) {
            fsys::copy_file(first.parent_path() / c.segment, dir / c.segment);
            fsys::create_symlink(dir / c.segment, dir / "set" / c.segment);
        }
        const auto image = dir / "set/disk.E01";
        const OpenedImage opened = openImage(image.string());
        EXPECT_FALSE(opened);
        EXPECT_EQ(opened.message, c.refusal);
        const auto info = cli("info " + q(image));
        EXPECT_EQ(info.exitCode, 2);
        EXPECT_NE(info.err.find(c.refusal), std::string::npos) << info.err;
    }
}

TEST(LibraryFormats, CutAndDamagedFilesGiveACleanMessage) {
    const LibraryImages* made = libraryImages(kFixture);
    if (!made) GTEST_SKIP() << "qemu-img, ewfacquire, python3 or a format's library missing";
    const std::vector<std::uint8_t> disk = readFileBytes(made->raw);
    using Bytes = std::vector<std::uint8_t>;
    const auto poke = [](std::size_t at, std::uint8_t value) { return [=](Bytes& b) { b.at(at) = value; }; };
    const auto cut = [](double share) {
        return [=](Bytes& b) { b.resize(static_cast<std::size_t>(static_cast<double>(b.size()) * share) / 512 * 512); };
    };
    struct Case {
        const char* what;
        std::size_t image;     // index in made->images
        std::string segment;   // the file damaged (the image's own by default)
        std::function<void(Bytes&)> damage;
        const char* refusal;   // the text when the file must be refused; null when reads fail instead
    };
    const std::vector<Case> cases = {
        {"vhdx cut inside its headers", 0, "", [](Bytes& b) { b.resize(96 * 1024); }, imagetexts::kNotVhdxText},
        {"vhdx without headers", 0, "", [](Bytes& b) { b[0x10000] = b[0x20000] = 'x'; }, imagetexts::kNotVhdxText},
        {"vhdx without region tables", 0, "", [](Bytes& b) { b[0x30000] = b[0x40000] = 'x'; },
         imagetexts::kNotVhdxText},
        {"vhdx cut in its data", 1, "", cut(0.5), nullptr},
        {"qcow2 cut inside its header", 2, "", [](Bytes& b) { b.resize(64); }, imagetexts::kNotQcowText},
        {"qcow2 cluster bits 99", 2, "", poke(23, 99), imagetexts::kNotQcowText},
        {"qcow2 L1 table past the end", 2, "", poke(43, 0x7F), imagetexts::kNotQcowText},
        {"compressed qcow2 cut in its data", 3, "", cut(0.6), nullptr},
        {"compressed qcow2 with a stretch of its clusters overwritten", 3, "",
         [](Bytes& b) { std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(b.size() / 5 * 3), 4096, 0xFF); }, nullptr},
        {"qcow2 cut in its data", 2, "", cut(0.6), nullptr},
        {"qcow2 with 512-byte clusters cut in its data", 8, "", cut(0.7), nullptr},
        {"E01 first segment cut short", 6, "", [](Bytes& b) { b.resize(4096); }, nullptr},
        {"E01 chunk damaged", 6, "disk.E02", [](Bytes& b) { b.at(b.size() / 2) ^= 0xFF; }, nullptr},
        {"E01 last segment cut", 6, "disk.E04", cut(0.3), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const fsys::path source = made->images[c.image].path;
        for (const auto& e : fsys::directory_iterator(source.parent_path()))
            if (e.is_regular_file() && e.path().stem() == source.stem())  // every segment
                fsys::copy_file(e.path(), dir / e.path().filename());
        const fsys::path damaged = dir / (c.segment.empty() ? source.filename() : fsys::path(c.segment));
        Bytes bytes = readFileBytes(damaged);
        c.damage(bytes);
        writeFileBytes(damaged, bytes);
        const OpenedImage opened = openImage((dir / source.filename()).string());
        if (c.refusal) {
            EXPECT_FALSE(opened);
            EXPECT_EQ(opened.error, ImageError::Damaged);
            EXPECT_EQ(opened.message, c.refusal);
            continue;
        }
        ASSERT_TRUE(opened) << opened.message;
        // What cannot be read fails the read and is zeros; the rest is the disk.
        const Pass p = readWhole(*opened.reader, disk);
        EXPECT_GT(p.failures, 0);
        EXPECT_LE(p.mismatches, p.failures);
    }
}
