#include "volume/DiskExport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <fstream>

#include "image/MemoryImage.h"
#include "support/FaultyReader.h"
#include "support/TestSupport.h"
#include "volume/RecordingSink.h"

namespace tavrel {
namespace {

using namespace test;

constexpr std::int64_t MiB = 1048576;

// A disk whose every byte depends on its offset, with one all-zero MiB in it.
MemoryImage patternDisk(std::int64_t bytes) {
    std::vector<std::uint8_t> data(static_cast<std::size_t>(bytes));
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 13);
    if (bytes > 7 * MiB) std::fill(data.begin() + 6 * MiB, data.begin() + 7 * MiB, std::uint8_t{0});
    return MemoryImage(std::move(data));
}

void touch(const std::filesystem::path& p) { std::ofstream(p) << "x"; }

TEST(DiskExport, OutputNaming) {
    TempDir dir;
    const std::string folder = dir.path().string();
    EXPECT_EQ(DiskExport::outputPathFor("/images/disk.vhd", folder), folder + "/disk.vhd.img");
    touch(dir / "disk.vhd.img");
    touch(dir / "1disk.vhd.img");
    EXPECT_EQ(DiskExport::outputPathFor("/images/disk.vhd", folder + "/"), folder + "/2disk.vhd.img");
    EXPECT_EQ(DiskExport::outputPathFor("disk.vhd", folder), folder + "/2disk.vhd.img");
    EXPECT_EQ(DiskExport::outputPathFor("/images/", folder), folder + "/Recovered_diskimg.img");
    touch(dir / "Recovered_diskimg.img");
    EXPECT_EQ(DiskExport::outputPathFor("", folder), folder + "/1Recovered_diskimg.img");
}

TEST(DiskExport, FreeSpace) {
    TempDir dir;
    const auto free = DiskExport::freeSpace(dir.path().string());
    ASSERT_TRUE(free.has_value());
    EXPECT_GT(*free, 0u);
    EXPECT_FALSE(DiskExport::freeSpace((dir / "missing").string()).has_value());
}

TEST(DiskExport, FourChunksTheLastOf512Bytes) {
    const std::int64_t size = 3 * 5 * MiB + 512;
    const MemoryImage disk = patternDisk(size);
    TempDir dir;
    const auto out = dir / "disk.vhd.img";
    RecordingSink sink;
    WorkControl work(&sink);
    const auto outcome = DiskExport().run(disk, out.string(), work);
    ASSERT_TRUE(outcome.ok()) << outcome.message;
    EXPECT_EQ(outcome.bytesWritten, size);
    std::vector<std::uint8_t> want(static_cast<std::size_t>(size));
    disk.readAt(0, want);
    EXPECT_EQ(readFileBytes(out), want);  // the zero MiB (a hole) reads back as zeros too
    // It lies inside a chunk with data, yet takes no disk space.
    struct stat st {};
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_LE(std::int64_t{st.st_blocks} * 512, size - MiB + 64 * 1024);
    EXPECT_EQ(sink.ranges.front(), std::make_pair(std::int64_t{0}, size / 512));
    // One status per chunk, then the notice.
    ASSERT_EQ(sink.statuses.size(), 5u);
    EXPECT_EQ(sink.statuses[0], "5 MB of 15 MB or 0.004883 GB of 0.014649 GB Saved");
    EXPECT_EQ(sink.statuses[3], "15 MB of 15 MB or 0.014649 GB of 0.014649 GB Saved");
    EXPECT_EQ(sink.statuses[4], DiskExport::kSavedText);
    // Progress at 10 MiB and at the end.
    EXPECT_EQ(sink.positions, (std::vector<std::int64_t>{0, 10 * MiB / 512, size / 512}));
}

TEST(DiskExport, TooLittleSpaceWritesNothing) {
    const MemoryImage disk = patternDisk(MiB);
    TempDir dir;
    const auto out = dir / "disk.vhd.img";
    DiskExport exporter;
    exporter.freeSpaceProbe = [](const std::string&) { return std::optional<std::uint64_t>(MiB - 1); };
    RecordingSink sink;
    WorkControl work(&sink);
    const auto outcome = exporter.run(disk, out.string(), work);
    EXPECT_EQ(outcome.kind, ExportOutcome::Kind::NoSpace);
    EXPECT_EQ(outcome.message, "Insufficient Disk Space in saving Location");
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_TRUE(sink.statuses.empty());
}

TEST(DiskExport, NeverOverwrites) {
    const MemoryImage disk = patternDisk(MiB);
    TempDir dir;
    const auto out = dir / "disk.vhd.img";
    touch(out);
    WorkControl work;
    const auto outcome = DiskExport().run(disk, out.string(), work);
    EXPECT_EQ(outcome.kind, ExportOutcome::Kind::CannotCreate);
    EXPECT_EQ(outcome.message, "Disk Image file cannot be created\nFile exists");
    EXPECT_EQ(std::filesystem::file_size(out), 1u);
}

// Asks for a stop at the first status, as Stop pressed during the first chunk.
class StopAtFirstStatus : public RecordingSink {
public:
    WorkControl* work = nullptr;
    void setStatus(const std::string& text) override {
        RecordingSink::setStatus(text);
        work->requestStop();
    }
};

TEST(DiskExport, StopDuringTheFirstChunkLeavesFiveMiB) {
    const MemoryImage disk = patternDisk(12 * MiB);
    TempDir dir;
    const auto out = dir / "disk.vhd.img";
    StopAtFirstStatus sink;
    WorkControl work(&sink);
    sink.work = &work;
    const auto outcome = DiskExport().run(disk, out.string(), work);
    EXPECT_EQ(outcome.kind, ExportOutcome::Kind::Stopped);
    EXPECT_EQ(std::filesystem::file_size(out), static_cast<std::uintmax_t>(5 * MiB));
    EXPECT_FALSE(sink.saw(DiskExport::kSavedText));
}

TEST(DiskExport, ReadErrorEndsWithTheErrorNumber) {
    const MemoryImage disk = patternDisk(12 * MiB);
    const FaultyReader failing(disk, 6 * MiB, disk.diskSize(), FaultyReader::Fault::Unreadable);
    TempDir dir;
    const auto out = dir / "disk.vhd.img";
    RecordingSink sink;
    WorkControl work(&sink);
    const auto outcome = DiskExport().run(failing, out.string(), work);
    EXPECT_EQ(outcome.kind, ExportOutcome::Kind::ReadError);
    EXPECT_EQ(outcome.bytesWritten, 5 * MiB);
    EXPECT_EQ(sink.statuses.back(), "Exit with error number " + std::to_string(EIO));
    EXPECT_EQ(std::filesystem::file_size(out), static_cast<std::uintmax_t>(5 * MiB));
}

TEST(DiskExport, EmptyDisk) {
    const MemoryImage disk;
    TempDir dir;
    const auto out = dir / "empty.img";
    WorkControl work;
    EXPECT_TRUE(DiskExport().run(disk, out.string(), work).ok());
    EXPECT_EQ(std::filesystem::file_size(out), 0u);
}

}  // namespace
}  // namespace tavrel
