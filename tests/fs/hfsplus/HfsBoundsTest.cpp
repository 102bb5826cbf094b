// An HFS+ catalog that claims 2^32 nodes over a 2 TiB partition of a dynamic
// VHD that stores only the fixture volume: tavrel-cli, limited to 512 MiB of
// address space, lists what the stored nodes hold in the standard and the deep
// mode (a table per claimed node would need gigabytes). Not limited under
// AddressSanitizer, whose shadow memory alone reserves terabytes.
#include <gtest/gtest.h>

#include "fs/hfsplus/HfsFixture.h"
#include "support/HfsForge.h"
#include "support/TestSupport.h"
#include "support/VhdBuilder.h"

using namespace tavrel::test;
using namespace tavrel::test::hfs;
using tavrel::be32;

namespace {

std::filesystem::path hugeCatalogDisk(const TempDir& dir) {
    constexpr std::uint32_t kStart = 2048, kSectors = 0xFFFFFFFFu - kStart;
    Bytes volume = volumeBytes();
    const std::size_t block = be32(volume, 1024 + 40);
    const std::size_t catalog = std::size_t{be32(volume, 1024 + 288)} * block;
    putBe(volume, catalog + 36, 0xFFFFFFFFu, 4);                    // totalNodes
    putBe(volume, 1024 + 272 + 12, 0xFFFFFFFFu, 4);                 // the catalog fork's totalBlocks
    putBe(volume, 1024 + 292, 0xFFFFFFFFu - be32(volume, 1024 + 288), 4);  // its first extent's blockCount

    VhdSpec spec;
    spec.diskBytes = std::uint64_t{1} << 41;
    Bytes mbr(512);
    mbr[446 + 4] = 0xAF;
    for (int i = 0; i < 4; ++i) {
        mbr[446 + 8 + i] = static_cast<std::uint8_t>(kStart >> (8 * i));
        mbr[446 + 12 + i] = static_cast<std::uint8_t>(kSectors >> (8 * i));
    }
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    spec.sectors[0] = mbr;
    for (std::size_t s = 0; s < volume.size() / 512; ++s)
        spec.sectors[kStart + s] = Bytes(volume.begin() + static_cast<std::ptrdiff_t>(s * 512),
                                         volume.begin() + static_cast<std::ptrdiff_t>(s * 512 + 512));
    const auto path = dir / "huge-catalog.vhd";
    writeDynamicVhd(path, spec);
    return path;
}

TEST(HfsBounds, CatalogClaimingBillionsOfNodesIsListedInBoundedMemory) {
#if defined(__SANITIZE_ADDRESS__)
    const std::string limit;
#else
    const std::string limit = "ulimit -v 524288; ";
#endif
    TempDir dir;
    const auto image = hugeCatalogDisk(dir);
    for (const char* mode : {"standard", "deep"}) {
        SCOPED_TRACE(mode);
        const auto r = runCommand("sh -c " + shellQuote(limit + shellQuote(cliPath()) + " ls " +
                                                        shellQuote(image.string()) + " --volume 0 --mode " + mode));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        for (const char* path : {"passwords.txt", "a_directory/a_file", "a_directory/another_file"})
            EXPECT_NE(r.out.find(std::string(" ") + path + "\n"), std::string::npos) << path << "\n" << r.out;
    }
}

}  // namespace
