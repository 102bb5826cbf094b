// Carving a volume of known files, stored as a raw image and as a dynamic VHD
// with unstored blocks, at the disk's start and as a volume further in: every
// found range is one of the placed files, byte for byte (compared by SHA-256
// after saving through the host-output helpers), and every placed file is found.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "image/ImageOpener.h"
#include "image/MemoryImage.h"
#include "raw/RawSave.h"
#include "raw/RuleFile.h"
#include "raw/myJpg.h"
#include "support/CarveFiles.h"
#include "support/TestSupport.h"
#include "support/VhdBuilder.h"

namespace tavrel::test {
namespace {

namespace fsys = std::filesystem;
constexpr std::int64_t kMiB = 1048576;

// A JPEG whose end marker straddles a sector boundary (its length is 511 mod 512).
Bytes straddlingJpeg() {
    for (std::size_t scan = 1500;; ++scan) {
        Bytes b = makeJpeg(scan, 7);
        if (b.size() % 512 == 511) return b;
    }
}

// Four MiB and seven sectors: the last MiB is partial.
CarveVolume knownVolume() {
    CarveVolume v(4 * kMiB + 7 * 512);
    v.place("jpg", 0, makeJpeg(3000, 1));
    v.place("png", 8192, makePng(5000, 2));
    v.place("pdf", 32768, makePdf(4000, 3));
    // Its second entry's header starts a sector, as a start of its own would.
    v.place("zip", 65536, makeZip(512 * 8 - 38, 4, "carved", 2));
    v.place("wav", 131072, makeWav(10000, 5));
    v.place("jpg", 196608, straddlingJpeg());
    // Starts in the first chunk and ends in the second.
    v.place("jpg", kMiB - 1024, makeJpeg(5000, 6));
    // A JPEG whose preview (another JPEG, with its own end marker) starts at a
    // sector inside it.
    const Bytes inner = makeJpeg(1200, 9);
    v.place("jpg", 2 * kMiB, makeJpeg(9000, 8, inner, 2048));
    v.place("jpg", 2 * kMiB + 2048, inner);
    // A JPEG whose structure breaks off after its APP0 segment, zeros following:
    // kept up to there, and partial.
    const Bytes jfif = makeJpeg(100, 11);
    v.place("jpg", 3 * kMiB, Bytes(jfif.begin(), jfif.begin() + 20));
    // In the last, partial MiB.
    const Bytes last = makePng(2200, 10);
    v.place("png", static_cast<std::int64_t>(v.bytes.size()) - 5 * 512, last);
    return v;
}

struct Case {
    const char* name;
    bool vhd;
    std::int64_t volumeSector;  // where the volume starts on the disk
};

class CarveTest : public ::testing::TestWithParam<Case> {};

TEST_P(CarveTest, FindsEveryPlacedFileByteForByte) {
    const Case c = GetParam();
    const CarveVolume volume = knownVolume();
    TempDir dir;
    // The disk: the volume at volumeSector, then 2 MiB left empty (unstored in a VHD).
    Bytes disk(static_cast<std::size_t>(c.volumeSector * 512), 0xE5);
    disk.insert(disk.end(), volume.bytes.begin(), volume.bytes.end());
    disk.resize(disk.size() + 2 * kMiB, 0);
    disk.resize((disk.size() + 2 * kMiB - 1) / (2 * kMiB) * (2 * kMiB), 0);
    const fsys::path image = dir / (c.vhd ? "disk.vhd" : "disk.img");
    if (c.vhd) {
        VhdSpec spec;
        spec.diskBytes = disk.size();
        for (std::size_t s = 0; s < disk.size() / 512; ++s) {
            const auto first = disk.begin() + static_cast<std::ptrdiff_t>(s * 512);
            if (std::any_of(first, first + 512, [](std::uint8_t b) { return b != 0; }))
                spec.sectors[s] = Bytes(first, first + 512);
        }
        writeDynamicVhd(image, spec);
    } else {
        writeFileBytes(image, disk);
    }
    const OpenedImage opened = openImage(image.string());
    ASSERT_TRUE(opened) << opened.message;
    const VolumeView view(*opened.reader, c.volumeSector, static_cast<std::int64_t>(volume.bytes.size() / 512));

    writeTestRules(dir / "rules.txt");
    raw::myJpg engine;
    ASSERT_TRUE(raw::loadRuleFile((dir / "rules.txt").string(), false, engine.rules()).ok);
    WorkControl work;
    ASSERT_EQ(engine.carve(view, work), raw::CarveResult::Done);

    std::map<std::int64_t, std::string> expected;  // offset -> "<name> <sha256>"
    for (const PlacedFile& f : volume.files)
        expected[f.offset] = std::to_string(f.offset) + " ." + f.extension + " " + sha256Of(f.bytes);

    std::vector<std::size_t> all(engine.found().size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    const auto report = raw::saveFoundFiles(view, engine, all, (dir / "out").string(), work);
    EXPECT_EQ(report.failed, 0);
    EXPECT_EQ(report.partial, 1);
    std::map<std::int64_t, std::string> carved;
    for (const raw::FoundFile& f : engine.found()) {
        EXPECT_EQ(f.partial, f.start == 3 * kMiB) << f.start;
        const std::string category = engine.categories()[engine.categoryOf(f.rule)].name;
        const std::string name = engine.nameOf(f);
        carved[f.start] = name + " " + sha256File(dir / "out" / category / name);
    }
    EXPECT_EQ(carved, expected);
    std::map<std::string, std::int64_t> counts;
    for (const auto& cat : engine.categories()) counts[cat.name] = cat.count;
    EXPECT_EQ(counts, (std::map<std::string, std::int64_t>{
                          {"Archives", 1}, {"Audio", 1}, {"Documents", 1}, {"Pictures", 8}}));
}

INSTANTIATE_TEST_SUITE_P(Images, CarveTest,
                         ::testing::Values(Case{"RawAtDiskStart", false, 0}, Case{"RawFurtherIn", false, 2048 + 63},
                                           Case{"DynamicVhd", true, 4096}),
                         [](const auto& info) { return std::string(info.param.name); });

// Stops after the first chunk: every file that starts there is kept exactly
// (the JPEG that runs into the next chunk too: its structure tells its end);
// nothing later is found.
class StopAfterFirstChunk final : public ProgressSink {
public:
    WorkControl* work = nullptr;
    void setStatus(const std::string&) override {}
    void setRange(std::int64_t, std::int64_t) override {}
    void setPosition(std::int64_t p) override {
        if (p == 1) work->requestStop();
    }
};

TEST(CarveStop, KeepsWhatWasFound) {
    const CarveVolume volume = knownVolume();
    MemoryImage image(volume.bytes);
    const VolumeView view(image, 0);
    TempDir dir;
    writeTestRules(dir / "rules.txt");
    raw::myJpg engine;
    ASSERT_TRUE(raw::loadRuleFile((dir / "rules.txt").string(), false, engine.rules()).ok);
    StopAfterFirstChunk sink;
    WorkControl work(&sink);
    sink.work = &work;
    ASSERT_EQ(engine.carve(view, work), raw::CarveResult::Stopped);

    std::map<std::int64_t, std::int64_t> found;
    for (const auto& f : engine.found()) found[f.start] = f.length;
    std::map<std::int64_t, std::int64_t> expected;
    for (const PlacedFile& f : volume.files)
        if (f.offset < kMiB) expected[f.offset] = static_cast<std::int64_t>(f.bytes.size());
    EXPECT_EQ(found, expected);
}

// Rules without an end signature, one case each: the approximate size, a
// wildcard in the signature, and the size stated by a header field.
TEST(CarveRules, WithoutEndSignature) {
    struct Row {
        const char* name;
        raw::RuleFields fields;
        Bytes header;        // written at sector 8
        std::int64_t length; // expected found length; 0: nothing found
    };
    auto fields = [](const char* start, const char* sizeOffset, const char* sizeBytes, const char* header,
                     const char* approx, bool includes = false) {
        raw::RuleFields f;
        f.extension = "bin";
        f.startSignature = start;
        f.sizeFieldOffset = sizeOffset;
        f.sizeFieldBytes = sizeBytes;
        f.headerSize = header;
        f.approxSize = approx;
        f.sizeIncludesHeader = includes;
        return f;
    };
    const Row rows[] = {
        {"approximate size", fields("0xAB,0xCD", "", "", "", "2097152"), {0xAB, 0xCD}, 2097152},
        {"wildcard byte", fields("0xAB,0x2A,0xEF", "", "", "", "1000"), {0xAB, 0x11, 0xEF}, 1000},
        {"no approximate size", fields("0xAB,0xCD", "", "", "", "0"), {0xAB, 0xCD}, 0},
        {"2-byte size, header added", fields("0xAB,0xCD", "2", "2", "4", "0"), {0xAB, 0xCD, 0x10, 0x27}, 10004},
        {"8-byte size at header end", fields("0xAB,0xCD", "8", "8", "16", "0", true),
         {0xAB, 0xCD, 0, 0, 0, 0, 0, 0, 0x88, 0x13, 0, 0, 0, 0, 0, 0}, 5000},
        {"size above approximate", fields("0xAB,0xCD", "2", "4", "6", "100"), {0xAB, 0xCD, 0x10, 0x27, 0, 0}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Bytes disk(3 * kMiB, 0);
        std::copy(row.header.begin(), row.header.end(), disk.begin() + 8 * 512);
        MemoryImage image(disk);
        const VolumeView view(image, 0);
        raw::SettingsRecord record;
        ASSERT_EQ(raw::recordFromFields(row.fields, record), "");
        raw::myJpg engine;
        engine.rules().push_back(raw::ruleFromRecord(record, 0));
        WorkControl work;
        ASSERT_EQ(engine.carve(view, work), raw::CarveResult::Done);
        if (row.length == 0) {
            EXPECT_TRUE(engine.found().empty());
        } else {
            ASSERT_EQ(engine.found().size(), 1u);
            EXPECT_EQ(engine.found()[0].start, 8 * 512);
            EXPECT_EQ(engine.found()[0].length, row.length);
        }
    }
}

TEST(CarveRules, NoRuleIsNotInitialized) {
    MemoryImage image(Bytes(kMiB, 0));
    raw::myJpg engine;
    WorkControl work;
    EXPECT_EQ(engine.carve(VolumeView(image, 0), work), raw::CarveResult::NotInitialized);
}

}  // namespace
}  // namespace tavrel::test
