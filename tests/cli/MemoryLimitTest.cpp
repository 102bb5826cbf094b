// tavrel-cli under an address-space limit on raw images that the host stores
// sparsely, so that every claimed byte counts as stored: a FAT32 volume whose
// file's chain visits thousands of FAT blocks is read within the FAT cache's
// bound, and an NTFS volume whose $MFT claims billions of records ends with the
// scan's message instead of an abort. VHD, VDI and VMDK files of a few KiB whose
// tables claim gigabytes of a sparse host file are refused without reading them. Not under AddressSanitizer, which
// reserves terabytes of address space before main.
#include <gtest/gtest.h>

#include "cli/CliHelpers.h"
#include "image/VdiFormat.h"
#include "image/ImageTexts.h"
#include "image/VmdkFormat.h"
#include "support/VhdBuilder.h"

using namespace tavrel::test;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// tavrel-cli with at most `mib` MiB of address space.
CommandResult limitedCli(int mib, const std::string& args) {
    return runCommand("sh -c " + shellQuote("ulimit -v " + std::to_string(mib * 1024) + " && " +
                                            shellQuote(cliPath()) + " " + args));
}

void putLe(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A FAT32 volume of 2^28 - 16 clusters of one sector (two FATs of 1 GiB)
// holding BIG.BIN, whose chain steps 16384 clusters at a time: each step's FAT
// entry lies in the next 64 KiB of the FAT. Its first and last clusters hold a
// text; the file's expected content is returned.
std::vector<std::uint8_t> hoppingFat32(const std::filesystem::path& path, std::uint32_t hops) {
    constexpr std::uint64_t kClusters = (1u << 28) - 16, kFatSectors = 1u << 21, kReserved = 32;
    constexpr std::uint64_t kData = kReserved + 2 * kFatSectors;
    constexpr std::uint32_t kStep = 16384, kFirst = 3;
    VhdSpec spec;
    spec.diskBytes = (kData + kClusters) * 512;
    std::vector<std::uint8_t> boot(512);
    const std::uint8_t jump[] = {0xEB, 0x58, 0x90, 'M', 'S', 'W', 'I', 'N', '4', '.', '1'};
    std::copy(std::begin(jump), std::end(jump), boot.begin());
    putLe(boot, 11, 512, 2);
    boot[13] = 1;
    putLe(boot, 14, kReserved, 2);
    boot[16] = 2;
    boot[21] = 0xF8;
    putLe(boot, 24, 63, 2);
    putLe(boot, 26, 255, 2);
    putLe(boot, 32, kData + kClusters, 4);
    putLe(boot, 36, kFatSectors, 4);
    putLe(boot, 44, 2, 4);  // root folder
    putLe(boot, 48, 1, 2);
    putLe(boot, 50, 6, 2);
    boot[66] = 0x29;
    const std::string label = "NO NAME    FAT32   ";
    std::copy(label.begin(), label.end(), boot.begin() + 71);
    putLe(boot, 510, 0xAA55, 2);
    spec.sectors[0] = boot;

    // FAT entries: the media marks, the root's end, and BIG.BIN's chain.
    auto setEntry = [&](std::uint64_t cluster, std::uint32_t value) {
        auto& sector = spec.sectors[kReserved + cluster * 4 / 512];
        sector.resize(512);
        putLe(sector, cluster * 4 % 512, value, 4);
    };
    setEntry(0, 0x0FFFFFF8);
    setEntry(1, 0x0FFFFFFF);
    setEntry(2, 0x0FFFFFFF);
    std::uint64_t cluster = kFirst;
    for (std::uint32_t i = 0; i < hops; ++i, cluster += kStep) setEntry(cluster, static_cast<std::uint32_t>(cluster + kStep));
    setEntry(cluster, 0x0FFFFFFF);

    std::vector<std::uint8_t> content((hops + 1) * std::size_t{512});
    const std::string head = "first cluster\n", tail = "last cluster\n";
    std::copy(head.begin(), head.end(), content.begin());
    std::copy(tail.begin(), tail.end(), content.end() - 512);
    spec.sectors[kData + kFirst - 2] = std::vector<std::uint8_t>(content.begin(), content.begin() + 512);
    spec.sectors[kData + cluster - 2] = std::vector<std::uint8_t>(content.end() - 512, content.end());

    std::vector<std::uint8_t> root(512);
    const std::string name = "BIG     BIN";
    std::copy(name.begin(), name.end(), root.begin());
    root[11] = 0x20;
    putLe(root, 26, kFirst, 2);
    putLe(root, 28, content.size(), 4);
    spec.sectors[kData] = root;
    writeSparseRaw(path, spec);
    return content;
}

}  // namespace

TEST(MemoryLimit, FatChainOverThousandsOfFatBlocksStaysWithinTheCache) {
    if (kSanitized) GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space: no limit can be set";
    TempDir dir;
    const auto image = dir / "fat32.img";
    // 6000 FAT blocks of 64 KiB: 375 MiB of FAT if every block were kept.
    const auto content = hoppingFat32(image, 6000);
    const auto out = dir / "BIG.BIN";
    const auto r = limitedCli(256, "cat " + q(image) + " --start 0 --end " +
                                       std::to_string(std::filesystem::file_size(image) / 512 - 1) +
                                       " --treat-as FAT32 BIG.BIN > " + q(out));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFileBytes(out), content);
}

TEST(MemoryLimit, TablesClaimingGigabytesOfASparseFileAreRefused) {
    if (kSanitized) GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space: no limit can be set";
    constexpr std::uint64_t kEntries = 0xFFFFFFF0u;  // 16 GiB of 32-bit entries
    std::vector<std::uint8_t> vdi(0x200, 0);
    putLe(vdi, 0x40, tavrel::kVdiSignature, 4);
    putLe(vdi, 0x44, 0x00010001, 4);
    putLe(vdi, 0x48, 0x190, 4);
    putLe(vdi, 0x4C, 1, 4);
    putLe(vdi, 0x154, 0x200, 4);          // the block map right after the header
    putLe(vdi, 0x158, 0x1000, 4);
    putLe(vdi, 0x170, kEntries << 20, 8);  // one MiB per entry
    putLe(vdi, 0x178, 1u << 20, 4);
    putLe(vdi, 0x180, kEntries, 4);
    putLe(vdi, 0x184, 1, 4);
    std::vector<std::uint8_t> vmdk(512, 0);
    putLe(vmdk, 0x00, tavrel::kVmdkMagic, 4);
    putLe(vmdk, 0x04, 1, 4);
    putLe(vmdk, 0x0C, kEntries, 8);  // sectors: one grain of one sector per table of one entry
    putLe(vmdk, 0x14, 1, 8);
    putLe(vmdk, 0x2C, 1, 4);
    putLe(vmdk, 0x38, 1, 8);         // the directory at sector 1
    // A tiny dynamic VHD whose header claims the entries; its leading footer copy
    // stands in for the trailing one the longer file lacks.
    VhdSpec spec;
    spec.blockSize = 4096;
    spec.diskBytes = 8192;
    VhdImage vhd = buildVhd(spec);
    vhd.forgeHeader(vhdfield::kHeaderMaxTableEntries, kEntries, 4);
    struct Case {
        const char* name;
        std::vector<std::uint8_t> head;
        std::uint64_t tableAt;
        const char* refusal;
    };
    const Case cases[] = {{"a.vdi", vdi, 0x200, tavrel::kNotVdiText},
                          {"a.vmdk", vmdk, 512, tavrel::kNotVmdkText},
                          {"a.vhd", vhd.bytes, vhd.bytes.size(), tavrel::imagetexts::kNotAnImage}};
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto image = dir / c.name;
        writeFileBytes(image, c.head);
        std::filesystem::resize_file(image, c.tableAt + kEntries * 4 + 4096);
        const auto r = limitedCli(512, "info " + q(image));
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_NE(r.err.find(c.refusal), std::string::npos) << r.err;
    }
}

// An ext2 volume of 64 MiB (8 groups of 2048 inodes) with 2000 files in group
// 0, whose superblock claims 2^32 blocks (524,288 groups) and as many inodes,
// and whose descriptors past group 0 all name group 0's inode table: only the
// groups the volume holds are read, aliasing descriptors are refused (their
// backups name the real tables), and every file is listed within 512 MiB.
TEST(MemoryLimit, ExtDescriptorsThatAllNameOneTableAreRefused) {
    if (kSanitized) GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space: no limit can be set";
    if (!haveTool("mkfs.ext2")) GTEST_SKIP() << "mkfs.ext2 missing";
    TempDir dir;
    const auto src = dir / "src";
    std::filesystem::create_directories(src);
    for (int i = 0; i < 2000; ++i) writeFileBytes(src / ("file" + std::to_string(i)), {'x', '\n'});
    const auto image = dir / "ext2.img";
    ASSERT_EQ(runCommand("mkfs.ext2 -q -F -b 1024 -N 16384 -d " + q(src) + " " + q(image) + " 64M").exitCode, 0);
    auto bytes = readFileBytes(image);
    putLe(bytes, 1024, 0xFFFFFFFFu, 4);      // s_inodes_count
    putLe(bytes, 1024 + 4, 0xFFFFFFFFu, 4);  // s_blocks_count
    // Block 2 holds the descriptors; reserved descriptor blocks follow it.
    const std::size_t descriptors = (1 + (bytes[1024 + 0xCE] | bytes[1024 + 0xCF] << 8)) * 1024 / 32;
    for (std::size_t g = 1; g < descriptors; ++g)
        std::copy_n(bytes.begin() + 2048 + 8, 4, bytes.begin() + static_cast<std::ptrdiff_t>(2048 + g * 32 + 8));
    writeFileBytes(image, bytes);
    const auto r = limitedCli(512, "ls " + q(image) + " --start 0 --end 131071 --treat-as extX");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::size_t files = 0;
    for (std::size_t at = r.out.find("f - - 2 file"); at != std::string::npos; at = r.out.find("f - - 2 file", at + 1)) ++files;
    EXPECT_EQ(files, 2000u);
}
