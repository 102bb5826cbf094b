// LVM2: the text metadata parser and the layout of logical volumes on
// hand-written metadata (refusals by name, legs, hostile texts), and the
// volume list on the disks lvm2 made (tests/fixtures/lvm/make-fixtures.sh):
// names, first sectors and sizes as lvs and pvs report them, the bytes of each
// logical volume as the file-system image written into it, damaged metadata.
#include <gtest/gtest.h>

#include <fstream>

#include "fs/factory/FsKinds.h"
#include "image/ImageOpener.h"
#include "support/TestSupport.h"
#include "volume/LvmLabel.h"
#include "volume/LvmMetadata.h"
#include "volume/LvmScan.h"
#include "volume/LvmTexts.h"
#include "volume/Partition.h"

namespace tavrel {
namespace {

using namespace test;
using namespace std::string_literals;

// ---- hand-written metadata -------------------------------------------------

// A group of two physical volumes (pv1 lies on no disk given) with extents of
// 8 sectors; `lvs` is the logical_volumes section's body.
std::string group(const std::string& lvs) {
    return "vg {\nid = \"abc\"\nseqno = 7\nextent_size = 8 # 4 KiB\n"
           "physical_volumes {\npv0 { id = \"AAAAAA-AAAA-AAAA-AAAA-AAAA-AAAA-AAAAAA\"\npe_start = 2048\npe_count = 100 }\n"
           "pv1 { id = \"BBBBBB-BBBB-BBBB-BBBB-BBBB-BBBB-BBBBBB\"\npe_start = 2048\npe_count = 100 }\n}\n"
           "logical_volumes {\n" + lvs + "}\n}\ncontents = \"Text Format Volume Group\"\nversion = 1\n";
}

std::string lv(const std::string& name, const std::string& segments, bool visible = true) {
    return name + " {\nstatus = [\"READ\", \"WRITE\"" + (visible ? ", \"VISIBLE\"" : "") + "]\n" + segments + "}\n";
}

std::string linear(const std::string& name, int start, int count, const std::string& pv, int extent) {
    return name + " {\nstart_extent = " + std::to_string(start) + "\nextent_count = " + std::to_string(count) +
           "\ntype = \"striped\"\nstripe_count = 1\nstripes = [\"" + pv + "\", " + std::to_string(extent) + "]\n}\n";
}

TEST(LvmMetadata, LayoutsAndRefusalsByName) {
    const std::string legs = lv("m_mimage_0", linear("segment1", 0, 4, "pv0", 10), false) +
                             lv("m_mimage_1", linear("segment1", 0, 4, "pv1", 10), false) +
                             lv("r_rimage_0", linear("segment1", 0, 4, "pv0", 20), false);
    struct Case {
        const char* what;
        std::string lvs;
        std::string refusal;            // empty: readable
        std::int64_t firstDiskByte = 0;  // of a readable volume, with pv0 at disk byte 1 MiB
    };
    const std::int64_t pv0 = 1 << 20;
    const Case cases[] = {
        {"linear", lv("a", linear("segment1", 0, 3, "pv0", 5)), "", pv0 + (2048 + 5 * 8) * 512},
        {"mirror: first leg", legs + lv("m", "segment1 {\nstart_extent = 0\nextent_count = 4\ntype = \"mirror\"\n"
                                             "mirror_count = 2\nmirrors = [\"m_mimage_0\", 0, \"m_mimage_1\", 0]\n}\n"),
         "", pv0 + (2048 + 10 * 8) * 512},
        {"raid1: first image", legs + lv("r", "segment1 {\nstart_extent = 0\nextent_count = 4\ntype = \"raid1\"\n"
                                              "raids = [\"r_rmeta_0\", \"r_rimage_0\", \"r_rmeta_1\", \"r_rimage_1\"]\n}\n"),
         "", pv0 + (2048 + 20 * 8) * 512},
        {"thin pool", lv("pool", "segment1 {\nstart_extent = 0\nextent_count = 4\ntype = \"thin-pool\"\n}\n"),
         lvm::thinPoolText("vg/pool")},
        {"thin volume", lv("thin1", "segment1 {\nstart_extent = 0\nextent_count = 4\ntype = \"thin\"\n}\n"),
         lvm::thinVolumeText("vg/thin1")},
        {"snapshot", lv("origin", linear("segment1", 0, 2, "pv0", 0)) + lv("snap", linear("segment1", 0, 1, "pv0", 3)) +
                         lv("snapshot0", "segment1 {\nstart_extent = 0\nextent_count = 2\ntype = \"snapshot\"\n"
                                         "origin = \"origin\"\ncow_store = \"snap\"\n}\n", false),
         lvm::snapshotText("vg/snap")},
        {"raid5", lv("r5", "segment1 {\nstart_extent = 0\nextent_count = 4\ntype = \"raid5\"\n}\n"),
         lvm::segmentTypeText("vg/r5", "raid5")},
        {"missing physical volume", lv("b", linear("segment1", 0, 2, "pv0", 0) + linear("segment2", 2, 2, "pv1", 0)),
         lvm::missingLvText("vg/b")},
        {"extents past the volume", lv("c", linear("segment1", 0, 2, "pv0", 99)), lvm::damagedText("vg/c")},
        {"a gap between segments", lv("d", linear("segment1", 0, 2, "pv0", 0) + linear("segment2", 3, 2, "pv0", 5)),
         lvm::damagedText("vg/d")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto vg = lvm::parseVolumeGroup(group(c.lvs));
        ASSERT_TRUE(vg);
        EXPECT_EQ(vg->seqno, 7);
        const lvm::LogicalVolume& last = vg->lvs.back().visible ? vg->lvs.back() : vg->lvs[vg->lvs.size() - 2];
        const lvm::LvLayout layout = lvm::layoutOf(*vg, last, {pv0, std::nullopt});
        EXPECT_EQ(layout.refusal, c.refusal);
        if (c.refusal.empty()) {
            ASSERT_FALSE(layout.runs.empty());
            EXPECT_EQ(layout.runs[0].stripes[0], c.firstDiskByte);
        } else {
            EXPECT_TRUE(layout.runs.empty());
        }
    }
    const auto vg = lvm::parseVolumeGroup(group(lv("b", linear("segment1", 0, 2, "pv1", 0))));
    ASSERT_TRUE(vg);
    EXPECT_EQ(lvm::layoutOf(*vg, vg->lvs[0], {pv0, std::nullopt}).missing,
              std::vector<std::string>{"BBBBBB-BBBB-BBBB-BBBB-BBBB-BBBB-BBBBBB"});
}

TEST(LvmText, HostileTextsAreRefusedWithinBounds) {
    std::string deep;
    for (int i = 0; i <= lvm::kMaxDepth; ++i) deep += "s" + std::to_string(i) + " {\n";
    std::string deepList = "a = ";
    for (int i = 0; i <= lvm::kMaxDepth; ++i) deepList += "[";
    std::string manyValues = "a = [";
    for (std::size_t i = 0; i <= lvm::kMaxNodes; ++i) manyValues += "1,";
    const std::pair<const char*, std::string> cases[] = {
        {"section not closed", "vg {\nid = \"x\"\n"},
        {"string not closed", "a = \"abc"},
        {"number too large", "a = 99999999999999999999"},
        {"expected a value", "a = \n"},
        {"unexpected '}'", "}"},
        {"sections nested too deep", deep},
        {"lists nested too deep", deepList},
        {"too many values", manyValues + "]"},
        {"text too long", std::string(lvm::kMaxTextBytes + 1, ' ')},
    };
    for (const auto& [error, text] : cases) {
        const lvm::TextParse parsed = lvm::parseMetadataText(text);
        EXPECT_FALSE(parsed.root) << error;
        EXPECT_EQ(parsed.error, error);
    }
    // Comments, escapes, fractions and the NUL that ends a copy.
    const auto parsed = lvm::parseMetadataText("# c\nk = \"a\\\"b\" # d\nf = 1.5\nl = [\"x\", 2]\n\0junk {"s);
    ASSERT_TRUE(parsed.root) << parsed.error;
    EXPECT_EQ(parsed.root->textOf("k"), "a\"b");
    EXPECT_EQ(parsed.root->numberOf("f"), 1);
    EXPECT_EQ(parsed.root->listOf("l")->children.size(), 2u);
}

// ---- the disks lvm2 made ---------------------------------------------------

struct ListedLv {
    std::string name;
    std::int64_t start = 0, sectors = 0;
    std::string sha;
};

std::vector<ListedLv> expectedLvs(const std::string& disk) {
    std::vector<ListedLv> out;
    std::ifstream in(fixturePath("lvm/" + disk + ".lvs"));
    for (ListedLv l; in >> l.name >> l.start >> l.sectors >> l.sha;) out.push_back(l);
    return out;
}

std::vector<std::string> pvUuids(const std::string& disk) {
    std::vector<std::string> out;
    std::ifstream in(fixturePath("lvm/" + disk + ".pvs"));
    for (std::string start, uuid; in >> start >> uuid;) out.push_back(uuid);
    return out;
}

std::vector<VolumeRecord> scan(const std::filesystem::path& image, std::unique_ptr<readWriteInterface>& reader) {
    OpenedImage opened = openImage(image.string());
    reader = std::move(opened.reader);
    if (!reader) return {};
    return Partition(*reader, fs::fsProbes()).standardScan(false);
}

const VolumeRecord* byName(const std::vector<VolumeRecord>& records, const std::string& name) {
    for (const auto& r : records)
        if (r.name == name) return &r;
    return nullptr;
}

std::string bytesSha(const VolumeView& view) {
    TempDir dir;
    std::ofstream out(dir / "lv", std::ios::binary);
    std::vector<std::uint8_t> buf(1 << 20);
    for (std::int64_t at = 0; at < view.size(); at += static_cast<std::int64_t>(buf.size())) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(buf.size(), view.size() - at));
        view.readAt(at, MutableByteSpan(buf.data(), n));
        out.write(reinterpret_cast<const char*>(buf.data()), static_cast<std::streamsize>(n));
    }
    out.close();
    return sha256File(dir / "lv");
}

TEST(LvmFixture, ListsEveryLogicalVolumeAsLvsReportsIt) {
    const std::pair<const char*, std::vector<std::string>> disks[] = {
        {"lvm-mbr", {"extX", "XFS"}}, {"lvm-whole", {"XFS"}}, {"lvm-striped", {"extX"}}};
    for (const auto& [disk, kinds] : disks) {
        SCOPED_TRACE(disk);
        std::unique_ptr<readWriteInterface> reader;
        const auto records = scan(unpackedFixture(std::string("lvm/") + disk + ".raw.xz"), reader);
        const auto want = expectedLvs(disk);
        std::vector<const VolumeRecord*> lvs;
        for (const auto& r : records)
            if (!r.name.empty()) lvs.push_back(&r);
        ASSERT_EQ(lvs.size(), want.size());
        for (std::size_t i = 0; i < want.size(); ++i) {
            const VolumeRecord* r = byName(records, want[i].name);
            ASSERT_TRUE(r) << want[i].name;
            EXPECT_EQ(r->startSector, want[i].start);
            EXPECT_EQ(r->sectorCount, want[i].sectors);
            EXPECT_EQ(r->sizeMiBText, std::to_string(want[i].sectors / 2048) + "   MB");
            EXPECT_EQ(r->note, "");
            EXPECT_EQ(bytesSha(volumeViewOf(*reader, *r)), want[i].sha) << want[i].name;
        }
        for (std::size_t i = 0; i < kinds.size(); ++i) EXPECT_EQ(lvs[i]->fsName, kinds[i]);
    }
}

// The latest copy's text, located through the first metadata area's header.
struct LatestCopy {
    std::int64_t areaStart = 0, areaSize = 0, textAt = 0;
};

LatestCopy latestCopy(const std::vector<std::uint8_t>& disk, std::int64_t pvStart) {
    const ByteSpan pv = ByteSpan(disk).subspan(static_cast<std::size_t>(pvStart));
    const auto label = lvm::decodePvLabel(pv.first(2048));
    EXPECT_EQ(label.result, lvm::LabelResult::Found);
    const auto area = label.label.metadataAreas.at(0);
    const auto header = lvm::decodeMdaHeader(pv.subspan(area.offset, 512));
    EXPECT_TRUE(header);
    return {pvStart + static_cast<std::int64_t>(area.offset), static_cast<std::int64_t>(header->size),
            pvStart + static_cast<std::int64_t>(area.offset + header->locations.at(0).offset)};
}

TEST(LvmFixture, DamagedMetadataFallsBackToAnOlderCopyOrSaysSo) {
    const auto original = readFileBytes(unpackedFixture("lvm/lvm-mbr.raw.xz"));
    const std::int64_t pvStart = 2048 * 512;
    const LatestCopy latest = latestCopy(original, pvStart);
    const auto want = expectedLvs("lvm-mbr");
    TempDir dir;

    // One byte of the latest text changed: its checksum fails, the copy before
    // it (the same layout without the last tag) is read.
    auto damaged = original;
    damaged[static_cast<std::size_t>(latest.textAt + 10)] ^= 0x20;
    writeFileBytes(dir / "older.raw", damaged);
    std::unique_ptr<readWriteInterface> reader;
    auto records = scan(dir / "older.raw", reader);
    const auto vg = lvm::parseVolumeGroup(std::string(reinterpret_cast<const char*>(&original[latest.textAt]), 4096));
    ASSERT_TRUE(vg);
    for (const auto& w : want) {
        const VolumeRecord* r = byName(records, w.name);
        ASSERT_TRUE(r) << w.name;
        EXPECT_EQ(r->startSector, w.start);
        EXPECT_EQ(r->note, lvm::olderCopyText("tvmbr", vg->seqno - 1));
        EXPECT_EQ(bytesSha(volumeViewOf(*reader, *r)), w.sha);
    }

    // Every copy gone: the partition says so and no logical volume is listed.
    std::fill(damaged.begin() + latest.areaStart + 512, damaged.begin() + latest.areaStart + latest.areaSize, 0);
    writeFileBytes(dir / "none.raw", damaged);
    records = scan(dir / "none.raw", reader);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].note, lvm::noMetadataText(pvUuids("lvm-mbr").at(0)));
    EXPECT_TRUE(isRefusedVolume(records[0]));
}

TEST(LvmFixture, APhysicalVolumeOnAGptPartitionOfTheLinuxLvmType) {
    if (!haveTool("sgdisk")) GTEST_SKIP() << "needs sgdisk";
    // The whole-disk physical volume moved into a GPT partition at sector 2048.
    const auto pv = readFileBytes(unpackedFixture("lvm/lvm-whole.raw.xz"));
    TempDir dir;
    const auto image = dir / "gpt.raw";
    std::vector<std::uint8_t> disk((2048 + 34) * 512 + pv.size());
    writeFileBytes(image, disk);
    ASSERT_EQ(runCommand("sgdisk -n 1:2048:+" + std::to_string(pv.size() / 1024) +
                         "K -t 1:E6D6D379-F507-44C2-A23C-238F2A3DF928 " + shellQuote(image.string()))
                  .exitCode,
              0);
    disk = readFileBytes(image);
    std::copy(pv.begin(), pv.end(), disk.begin() + 2048 * 512);
    writeFileBytes(image, disk);
    const OpenedImage opened = openImage(image.string());
    ASSERT_TRUE(opened);
    const auto records = Partition(*opened.reader, fs::fsProbes()).standardScan(true);
    const ListedLv want = expectedLvs("lvm-whole").at(0);
    const VolumeRecord* r = byName(records, want.name);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->startSector, 2048 + want.start);
    EXPECT_EQ(r->sectorCount, want.sectors);
    EXPECT_EQ(bytesSha(volumeViewOf(*opened.reader, *r)), want.sha);
}

TEST(LvmFixture, AMissingPhysicalVolumeIsNamedByItsUuid) {
    auto disk = readFileBytes(unpackedFixture("lvm/lvm-striped.raw.xz"));
    // The second partition's label sector (sector 1 of the partition) wiped.
    std::fill_n(disk.begin() + (47104 + 1) * 512, 512, 0);
    TempDir dir;
    writeFileBytes(dir / "one-pv.raw", disk);
    std::unique_ptr<readWriteInterface> reader;
    const auto records = scan(dir / "one-pv.raw", reader);
    const VolumeRecord* r = byName(records, "tvstripe/striped");
    ASSERT_TRUE(r);
    EXPECT_TRUE(isRefusedVolume(*r));
    EXPECT_EQ(r->note, lvm::missingLvText("tvstripe/striped") + " " +
                           lvm::missingPvsText("tvstripe", {pvUuids("lvm-striped").at(1)}));
}

}  // namespace
}  // namespace tavrel
