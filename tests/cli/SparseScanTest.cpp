// Whole-volume walks over a dynamic VHD that claims 2 TiB and stores a few
// blocks far apart: the boot-record scan, the MFT hunts of Standard and
// Advanced mode, Deep mode, the ext superblock search and carving jump over
// what the image does not store, and still find what the stored blocks hold.
#include <gtest/gtest.h>

#include <set>

#include "cli/CliHelpers.h"
#include "image/ImageOpener.h"
#include "support/CarveFiles.h"
#include "support/VhdBuilder.h"

using namespace tavrel;
using namespace tavrel::test;

namespace {

constexpr std::int64_t kDiskBytes = std::int64_t{1} << 41;
constexpr std::int64_t kVolumeSector = (std::int64_t{1} << 40) / 512;  // the NTFS volume at 1 TiB
constexpr std::int64_t kJpegAt = kDiskBytes - (std::int64_t{3} << 20);  // a picture 3 MiB before the end

}  // namespace

TEST(SparseScan, WalksOverTwoTebibytesFindWhatTheStoredBlocksHold) {
    // The ntfs-mbr fixture's volume, its boot sector wiped (the backup at its end
    // stays), moved to 1 TiB; a JPEG near the end of the disk; nothing else.
    const auto fixture = openImage(unpackedFixture("ntfs/ntfs-mbr.vhd.xz").string());
    ASSERT_TRUE(fixture) << fixture.message;
    const std::int64_t fixtureStart = 2048;
    VhdSpec spec;
    spec.diskBytes = static_cast<std::uint64_t>(kDiskBytes);
    std::vector<std::uint8_t> boot(512), sector(512);
    ASSERT_TRUE(fixture.reader->readAt(fixtureStart * 512, boot));
    for (std::int64_t s = fixtureStart + 1; s < fixture.reader->diskSize() / 512; ++s) {
        ASSERT_TRUE(fixture.reader->readAt(s * 512, sector));
        if (sector == boot) {
            // The backup boot sector names the volume's new place (hidden sectors).
            for (int b = 0; b < 4; ++b) sector[0x1C + b] = static_cast<std::uint8_t>(kVolumeSector >> (8 * b));
        }
        if (std::any_of(sector.begin(), sector.end(), [](std::uint8_t b) { return b != 0; }))
            spec.sectors[static_cast<std::uint64_t>(kVolumeSector + s - fixtureStart)] = sector;
    }
    const Bytes jpeg = makeJpeg(6000, 7);
    for (std::size_t at = 0; at < jpeg.size(); at += 512)
        spec.sectors[static_cast<std::uint64_t>(kJpegAt / 512) + at / 512] =
            Bytes(jpeg.begin() + static_cast<std::ptrdiff_t>(at),
                  jpeg.begin() + static_cast<std::ptrdiff_t>(std::min(at + 512, jpeg.size())));
    TempDir dir;
    const auto image = dir / "sparse.vhd";
    writeDynamicVhd(image, spec);
    const std::string volume = q(image) + " --start " + std::to_string(kVolumeSector) + " --end " +
                               std::to_string(kDiskBytes / 512 - 1);

    // The boot-record scan takes the backup boot record for its lost volume.
    const auto volumes = cli("volumes " + q(image) + " --advanced --json");
    ASSERT_EQ(volumes.exitCode, 0) << volumes.err;
    const auto records = jsonLines(volumes.out);
    ASSERT_EQ(records.size(), 1u) << volumes.out;
    EXPECT_EQ(records[0].at("start"), kVolumeSector);

    // Advanced mode's hunt finds the MFT; the ext superblock search walks the
    // same volume and finds none.
    const auto hunt = cli("hunt " + volume + " --treat-as NTFS --json");
    ASSERT_EQ(hunt.exitCode, 0) << hunt.err;
    const auto found = jsonLines(hunt.out);
    ASSERT_EQ(found.size(), 1u) << hunt.out;
    EXPECT_EQ(found[0].at("item"), "MFT_ENTRY:0");
    const auto ext = cli("ls " + volume + " --treat-as extX");
    EXPECT_EQ(ext.exitCode, 2);
    EXPECT_NE(ext.err.find("No ext superblock was found on this volume."), std::string::npos) << ext.err;

    // Standard mode hunts the first $MFT record and recovers every live file;
    // Deep mode lists them by the records it finds.
    std::map<std::string, std::string> live;
    for (const auto& r : readOracle("ntfs-mbr"))
        if (r.kind == 'r' && !r.deleted && r.path[0] != '$') live[r.path] = r.sha;
    ASSERT_FALSE(live.empty());
    const auto out = dir / "out";
    const auto recovered = cli("recover " + volume + " --treat-as NTFS --out " + q(out));
    EXPECT_EQ(recovered.exitCode, 0) << recovered.err;
    const auto written = hashesBelow(out);
    for (const auto& [path, sha] : live) EXPECT_EQ(written.count(path) ? written.at(path) : "", sha) << path;
    const auto deep = cli("ls " + volume + " --treat-as NTFS --mode deep --json");
    ASSERT_EQ(deep.exitCode, 0) << deep.err;
    std::set<std::string> deepNames;
    for (const auto& [path, row] : parseLsJson(deep.out))
        deepNames.insert(std::filesystem::path(path).filename().string());
    for (const auto& [path, sha] : live)
        EXPECT_TRUE(deepNames.count(std::filesystem::path(path).filename().string())) << path;

    // Carving reaches the picture near the end of the disk.
    const auto carve = cli("carve " + volume + " --json --out " + q(dir / "carved"));
    ASSERT_EQ(carve.exitCode, 0) << carve.err;
    bool picture = false;
    for (const auto& line : jsonLines(carve.out)) {
        if (!line.contains("name") || line.at("name") != std::to_string(kJpegAt - kVolumeSector * 512) + " .jpg")
            continue;
        picture = true;
        EXPECT_EQ(sha256File(line.at("path").get<std::string>()), sha256Of(jpeg));
    }
    EXPECT_TRUE(picture) << carve.out;
}
