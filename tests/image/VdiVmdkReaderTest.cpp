// VDI and VMDK images made by qemu-img from one known disk serve exactly that
// disk: every byte, read in runs that cross block and grain boundaries, through
// readAt and through seek+read; what a reader calls unallocated, or jumps over
// to the next stored byte, is zeros there.
#include <gtest/gtest.h>

#include <algorithm>

#include "image/ImageOpener.h"
#include "support/ConvertedImages.h"

using namespace tavrel;
using namespace tavrel::test;

TEST(VdiVmdkReader, EveryLayoutServesTheSourceDisk) {
    const ConvertedImages* made = convertedImages("ntfs/ntfs-mbr.vhd.xz");
    if (!made) GTEST_SKIP() << "qemu-img not available";
    const std::vector<std::uint8_t> disk = readFileBytes(made->raw);
    const auto size = static_cast<std::int64_t>(disk.size());
    ASSERT_GT(size, 0);
    // Not a multiple of any block or grain size: runs straddle every boundary.
    constexpr std::size_t kRun = 1048576 + 3 * 512 + 100;
    for (const ConvertedImage& image : made->images) {
        SCOPED_TRACE(image.layout);
        const OpenedImage opened = openImage(image.path.string());
        ASSERT_TRUE(opened) << opened.message;
        const readWriteInterface& r = *opened.reader;
        const ImageInfo info = r.describe();
        EXPECT_EQ(info.format, image.format);
        EXPECT_EQ(info.diskSize, size);
        EXPECT_EQ(info.sectors, disk.size() / 512);

        std::vector<std::uint8_t> buf(kRun);
        std::int64_t mismatches = 0, unallocatedButNotZero = 0, unallocatedRuns = 0;
        for (std::int64_t at = 0; at < size; at += kRun) {
            const auto n = static_cast<std::size_t>(std::min<std::int64_t>(kRun, size - at));
            const auto want = disk.begin() + at;
            ASSERT_TRUE(r.readAt(at, std::span(buf).first(n))) << "at " << at;
            if (!std::equal(want, want + static_cast<std::ptrdiff_t>(n), buf.begin())) ++mismatches;
            if (r.isUnallocated(at, static_cast<std::int64_t>(n))) {
                ++unallocatedRuns;
                if (std::any_of(want, want + static_cast<std::ptrdiff_t>(n), [](std::uint8_t b) { return b != 0; }))
                    ++unallocatedButNotZero;
            }
        }
        EXPECT_EQ(mismatches, 0);
        EXPECT_EQ(unallocatedButNotZero, 0);
        // A jump to the next stored byte passes over unallocated zeros only.
        std::int64_t jumped = 0;
        for (std::int64_t at = 0; at < size; at += 65536) {
            const std::int64_t next = r.nextStored(at);
            ASSERT_GE(next, at);
            ASSERT_LE(next, size);
            if (next == at) continue;
            jumped += next - at;
            EXPECT_TRUE(r.isUnallocated(at, next - at)) << at;
            EXPECT_TRUE(std::all_of(disk.begin() + at, disk.begin() + next, [](std::uint8_t b) { return b == 0; }));
            if (next < size) {
                EXPECT_FALSE(r.isUnallocated(next, 512)) << next;
            }
            at = next;
        }
        EXPECT_EQ(jumped > 0, unallocatedRuns > 0);
        // Past the end: zeros and a failed read.
        EXPECT_FALSE(r.readAt(size - 512, std::span(buf).first(1024)));
        EXPECT_TRUE(std::all_of(buf.begin() + 512, buf.begin() + 1024, [](std::uint8_t b) { return b == 0; }));

        // The stateful pair on its own reader, with a volume base offset.
        OpenedImage again = openImage(image.path.string());
        ASSERT_TRUE(again);
        again.reader->baseOffset = 2048 * 512;
        for (const std::int64_t pos : {std::int64_t{0}, std::int64_t{65536 - 512}, size - 2048 * 512 - 4096}) {
            ASSERT_TRUE(again.reader->seek(pos, 0)) << pos;
            ASSERT_TRUE(again.reader->read(buf.data(), 4096)) << pos;
            const auto want = disk.begin() + 2048 * 512 + pos;
            EXPECT_TRUE(std::equal(want, want + 4096, buf.begin())) << pos;
        }
    }
}
