// Copying a file's bytes from byte runs of the volume to a ByteSink in bounded
// chunks, shared by the FAT and exFAT parsers.
#pragma once

#include <cstdint>
#include <vector>

#include "fs/Parser.h"

namespace tavrel::fs::fat {

struct ByteRun {
    std::int64_t offset = 0;
    std::int64_t length = 0;
};

// Collects runs, merging a run that starts where the previous one ends.
class RunList {
public:
    void add(std::int64_t offset, std::int64_t length);
    const std::vector<ByteRun>& runs() const { return runs_; }
    std::int64_t total() const { return total_; }

private:
    std::vector<ByteRun> runs_;
    std::int64_t total_ = 0;
};

// Writes the first `size` bytes of the runs to `out`, reading at most 1 MiB at a
// time and never past the volume's end. Returns true when all `size` bytes were
// read and written; false on a short run list, a read past the volume, a failed
// read or write, or a stop request (what was written stays written).
bool copyRuns(const VolumeView& volume, const std::vector<ByteRun>& runs, std::int64_t size, ByteSink& out,
              WorkControl& work);

}  // namespace tavrel::fs::fat
