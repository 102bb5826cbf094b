// Advanced mode on FAT12, FAT16, FAT32 and exFAT volumes made by mkfs.fat / mkfs.exfat
// whose boot sector and its backup were zeroed: the hunt finds the FATs (and the
// cluster heap) where The Sleuth Kit's fsstat places them on the undamaged disk,
// and the tree parsed from the first candidate gives back every original file
// with its hash. A stop during the hunt keeps what was found.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "fs/StructureHunt.h"
#include "fs/factory/ParserFactory.h"
#include "image/MemoryImage.h"
#include "support/DamagedFatFixture.h"

using namespace tavrel;
using namespace tavrel::test;

namespace {

class FileSink : public fs::ByteSink {
public:
    explicit FileSink(const std::filesystem::path& path) : out_(path, std::ios::binary) {}
    bool write(ByteSpan bytes) override {
        out_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return static_cast<bool>(out_);
    }

private:
    std::ofstream out_;
};

// Saves every live file below `level` into `dir` as "f<n>"; `paths` maps n to its path.
void saveFiles(fs::Parser& p, const std::vector<fs::EntryRef>& level, const std::string& prefix, const TempDir& dir,
               std::vector<std::string>& paths, int depth = 0) {
    ASSERT_LT(depth, 32);
    for (const fs::EntryRef e : level) {
        const std::string path = prefix + p.name(e);
        if (p.isFolder(e)) {
            saveFiles(p, p.children(e), path + "/", dir, paths, depth + 1);
        } else if (!p.isDeleted(e)) {
            FileSink sink(dir / ("f" + std::to_string(paths.size())));
            WorkControl work;
            EXPECT_TRUE(p.saveFile(e, sink, work)) << path;
            paths.push_back(path);
        }
    }
}

// path -> sha256 of every live file of the tree, from one sha256sum run.
std::map<std::string, std::string> hashFiles(fs::Parser& p, const TempDir& dir) {
    std::vector<std::string> paths;
    saveFiles(p, p.rootLevel(), "", dir, paths);
    std::map<std::string, std::string> out;
    if (paths.empty()) return out;
    std::istringstream lines(runCommand("cd " + shellQuote(dir.path().string()) + " && sha256sum f*").out);
    std::string sha, name;
    while (lines >> sha >> name)
        if (name.size() > 1) out[paths.at(std::stoul(name.substr(1)))] = sha;
    return out;
}

struct Volume {
    std::unique_ptr<MemoryImage> image;
    std::unique_ptr<VolumeView> view;
    std::unique_ptr<fs::Parser> parser;
    fs::StructureHunter* hunter = nullptr;
};

Volume advancedVolume(const DamagedFatDisk& disk, const char* kind) {
    Volume v;
    v.image = std::make_unique<MemoryImage>(readFileBytes(disk.raw));
    v.view = std::make_unique<VolumeView>(*v.image, kDamagedVolumeSector, disk.volumeSectors);
    fs::ScanOptions options;
    options.mode = fs::RecoveryMode::Advanced;
    v.parser = fs::makeParser(kind, *v.view, options);
    v.hunter = v.parser ? fs::hunterOf(*v.parser) : nullptr;
    return v;
}

// Requests a stop as soon as the hunt reports its first FAT.
class StopAtFirstFind : public ProgressSink {
public:
    void setStatus(const std::string& text) override {
        if (text.rfind("found fat entry", 0) == 0) work->requestStop();
    }
    void setRange(std::int64_t, std::int64_t) override {}
    void setPosition(std::int64_t) override {}
    WorkControl* work = nullptr;
};

}  // namespace

TEST(FatAdvanced, HuntFindsTheLayoutAndTheChosenCopyGivesBackTheOriginals) {
    const struct {
        const char* fixture;
        const char* kind;
        bool heap;
    } cases[] = {{"fat12", "FAT12", false},
                 {"fat16", "FAT16", false},
                 {"fat32-512", "FAT32", false},
                 {"exfat", "FAT64", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture);
        TempDir dir;
        const DamagedFatDisk disk = damagedFatDisk(c.fixture, dir);
        if (disk.raw.empty()) GTEST_SKIP() << "qemu-img and fsstat are needed";
        Volume v = advancedVolume(disk, c.kind);
        ASSERT_NE(v.hunter, nullptr);
        WorkControl work;
        v.hunter->huntCopies(work, 3);
        std::vector<std::int64_t> found;
        for (const auto& f : v.hunter->candidates()) found.push_back(f.offset);
        EXPECT_EQ(found, disk.fats);
        // The cluster size is learnt: from folders' "." entries, or from the
        // allocation-bitmap entry that supports the heap.
        const auto& learnt = c.heap ? v.hunter->heapCandidates() : v.hunter->candidates();
        ASSERT_FALSE(learnt.empty());
        EXPECT_EQ(learnt.front().clusterSize, disk.clusterSize);
        EXPECT_EQ(c.heap ? learnt.front().offset : learnt.front().anchor, disk.heapOffset);

        ASSERT_TRUE(v.hunter->useCandidate(0, {}));
        ASSERT_TRUE(v.parser->scan(work)) << v.parser->message();
        TempDir saved;
        const auto hashes = hashFiles(*v.parser, saved);
        for (const auto& [path, sha] : disk.originals)
            EXPECT_EQ(hashes.count(path) ? hashes.at(path) : "missing", sha) << path;
    }
}

TEST(FatAdvanced, StopDuringTheHuntKeepsWhatWasFound) {
    TempDir dir;
    const DamagedFatDisk disk = damagedFatDisk("exfat", dir);
    if (disk.raw.empty()) GTEST_SKIP() << "qemu-img and fsstat are needed";
    Volume v = advancedVolume(disk, "FAT64");
    ASSERT_NE(v.hunter, nullptr);
    StopAtFirstFind sink;
    WorkControl work(&sink);
    sink.work = &work;
    EXPECT_EQ(v.hunter->huntCopies(work, 3), 1u);
    EXPECT_EQ(v.hunter->candidates().front().offset, disk.fats.front());
    // The heap hunt after it did not run; the FAT found is still offered.
    EXPECT_TRUE(v.hunter->heapCandidates().empty());
    EXPECT_NE(v.hunter->foundMessage().find("FAT64-ENTRY found = 1 and Number of HeapOffset-ENTRY found =  0"),
              std::string::npos);
}

// A FAT12 volume as mkfs.fat leaves it, holding one file of several clusters:
// its FAT begins F8 FF FF 03, which only the FAT12 layout test matches. With
// the boot sector zeroed, the hunt finds both FATs and the tree parsed from
// the first gives the file back.
TEST(FatAdvanced, Fat12VolumeMadeByMkfsFat) {
    if (!haveTool("mkfs.fat") || !haveTool("mcopy")) GTEST_SKIP() << "mkfs.fat and mtools are needed";
    TempDir dir;
    const auto raw = dir / "fat12.img";
    const auto data = dir / "data.bin";
    std::vector<std::uint8_t> content(10000);
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    std::ofstream(data, std::ios::binary).write(reinterpret_cast<const char*>(content.data()),
                                                static_cast<std::streamsize>(content.size()));
    const auto made = runCommand("truncate -s 2M " + shellQuote(raw.string()) + " && mkfs.fat -F 12 -s 4 " +
                                 shellQuote(raw.string()) + " >/dev/null && MTOOLS_SKIP_CHECK=1 mcopy -i " +
                                 shellQuote(raw.string()) + " " + shellQuote(data.string()) + " ::/DATA.BIN");
    ASSERT_EQ(made.exitCode, 0) << made.err;
    MemoryImage image(readFileBytes(raw));
    const ByteSpan boot(image.bytes().data(), 512);
    const std::int64_t fat = std::int64_t{le16(boot, 0x0E)} * 512;
    const std::int64_t fatBytes = std::int64_t{le16(boot, 0x16)} * 512;
    ASSERT_EQ(image.bytes()[static_cast<std::size_t>(fat + 3)], 0x03);  // entry 2 names cluster 3
    std::fill_n(image.bytes().begin(), 512, 0);

    const VolumeView view(image, 0);
    fs::ScanOptions options;
    options.mode = fs::RecoveryMode::Advanced;
    const auto parser = fs::makeParser("FAT12", view, options);
    fs::StructureHunter* hunter = fs::hunterOf(*parser);
    ASSERT_NE(hunter, nullptr);
    WorkControl work;
    hunter->huntCopies(work, 3);
    std::vector<std::int64_t> found;
    for (const auto& f : hunter->candidates()) found.push_back(f.offset);
    EXPECT_EQ(found, (std::vector<std::int64_t>{fat, fat + fatBytes}));
    ASSERT_TRUE(hunter->useCandidate(0, {}));
    ASSERT_TRUE(parser->scan(work)) << parser->message();
    std::vector<std::uint8_t> saved;
    for (const fs::EntryRef e : parser->rootLevel()) {
        if (parser->name(e) != "DATA.BIN") continue;
        struct Sink : fs::ByteSink {
            std::vector<std::uint8_t>& out;
            explicit Sink(std::vector<std::uint8_t>& o) : out(o) {}
            bool write(ByteSpan bytes) override {
                out.insert(out.end(), bytes.begin(), bytes.end());
                return true;
            }
        } sink(saved);
        EXPECT_TRUE(parser->saveFile(e, sink, work));
    }
    EXPECT_EQ(saved, content);
}
