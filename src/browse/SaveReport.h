// What a save did, file by file.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fs/Condition.h"

namespace tavrel::browse {

struct FileOutcome {
    enum class Result { Written, Failed, Skipped };
    Result result = Result::Written;
    std::string imagePath;  // names below the top item joined with "/"
    std::string hostPath;   // where it was written (empty when nothing was created)
    std::string note;       // why it failed or was skipped, or how its name changed
    std::string parserMessage;  // the parser's own text for this file ("Not a valid entry..."), if any
    std::vector<std::string> imageNames;  // the names imagePath joins, when known
    std::optional<fs::Condition> condition;  // of a deleted file written
};

struct SaveReport {
    std::int64_t written = 0;  // files whose whole content was written
    std::int64_t failed = 0;   // files not created, or created but incomplete
    std::int64_t skipped = 0;  // files the parser does not save ("$BadClus")
    std::int64_t folders = 0;  // host folders created or reused
    std::int64_t partial = 0;  // files written whose structure breaks off (carving)
    // Deleted files written, by their condition (indexed by fs::Condition).
    std::array<std::int64_t, 4> deletedByCondition{};
    bool stopped = false;      // the walk ended early on a stop request
    std::string error;         // the save could not start (output folder unusable)
    std::string lastWritten;   // host path of the last file written (the one file of saveOne)
    // Every file that failed, was skipped or was saved under a changed name, and
    // every folder that could not be created or was renamed.
    std::vector<FileOutcome> notes;

    bool ok() const { return error.empty() && failed == 0 && !stopped; }
};

}  // namespace tavrel::browse
