// Disk image export: the whole virtual disk written as one flat ".img" file, every
// sector in order, unallocated blocks as zeros, exactly as long as the disk.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "image/readWriteInterface.h"
#include "util/WorkControl.h"

namespace tavrel {

struct ExportOutcome {
    enum class Kind {
        Saved,         // the whole disk was written
        Stopped,       // a stop ended the copy; the partial file stays
        NoSpace,       // too little free space (before writing) or a full disk while writing
        CannotCreate,  // the output file could not be created
        ReadError,     // the image could not be read; status "Exit with error number N"
        WriteError,    // a write failed for another reason
    };
    Kind kind = Kind::Saved;
    std::string message;         // text for a message box; empty when there is none
    std::int64_t bytesWritten = 0;
    bool ok() const { return kind == Kind::Saved; }
};

class DiskExport {
public:
    static constexpr std::int64_t kChunkBytes = 5 * 1048576;      // one read/write per 5 MiB
    static constexpr std::int64_t kProgressStep = 10 * 1048576;   // progress moves every 10 MiB

    static constexpr const char* kNoSpaceText = "Insufficient Disk Space in saving Location";
    static constexpr const char* kCannotCreateText = "Disk Image file cannot be created";
    static constexpr const char* kSavedText = "Image Saved,Choose any one of the mode and click next.";
    static constexpr const char* kStopQuestion = "Are you sure to stop the running process?";
    static constexpr const char* kDefaultName = "Recovered_diskimg.img";

    // Output path for an image exported into folder: name.vhd.img, then
    // 1name.vhd.img, 2name.vhd.img ... (never an existing file). An image path
    // without a file name gives Recovered_diskimg.img, 1Recovered_diskimg.img ...
    static std::string outputPathFor(const std::string& imagePath, const std::string& folder);

    // Free bytes available to this user at folder (statvfs); empty when unknown.
    static std::optional<std::uint64_t> freeSpace(const std::string& folder);

    // Writes the whole virtual disk to outputPath, a new file (an existing file is
    // never overwritten). Status texts and progress (range 0..sectors) go through
    // work; a stop ends the copy after the current chunk.
    ExportOutcome run(const readWriteInterface& reader, const std::string& outputPath, WorkControl& work) const;

    // How run() learns the free space of the output's folder; tests replace it.
    std::function<std::optional<std::uint64_t>(const std::string&)> freeSpaceProbe = &DiskExport::freeSpace;
};

}  // namespace tavrel
