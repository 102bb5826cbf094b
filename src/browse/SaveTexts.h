// The save's own user-facing texts, shared by the scan page and the CLI.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "fs/Condition.h"

namespace tavrel::browse::texts {

inline constexpr const char* kChooseFolderTitle = "Please choose a folder.";
inline constexpr const char* kNoOutputFolder = "Please select valid output folder";
inline constexpr const char* kWaitForRunning = "Please wait for the running process.";
inline constexpr const char* kWorkDone = "work done";
inline constexpr const char* kSavingFile = "saving File  ";  // followed by the destination path

// Second status line while a file is written: "File size: 12 kb".
inline std::string fileSizeText(std::int64_t bytes) {
    return "File size: " + std::to_string(bytes / 1024) + " kb";
}

// Second status line after a file was written.
inline std::string dumpedText(const std::string& destination) {
    return "file is dumped in path  :  " + destination + "   ";
}

// The question before a folder save; NTFS capitalises its first word.
inline std::string countQuestion(bool capitalised, std::int64_t count) {
    return std::string(capitalised ? "Number" : "number") + " of files found inside this folder = " +
           std::to_string(count) + " .Do you want to continue dumping these files..?";
}

// The save's end line on deleted files written, by their condition:
// "Deleted files saved: 3 intact, 1 partly overwritten, 0 overwritten, 0 unknown."
// Empty when no deleted file was written.
inline std::string deletedConditionText(const std::array<std::int64_t, 4>& counts) {
    if (counts[0] + counts[1] + counts[2] + counts[3] == 0) return {};
    std::string text = "Deleted files saved: ";
    for (std::size_t i = 0; i < counts.size(); ++i) {
        if (i) text += ", ";
        text += std::to_string(counts[i]) + " " + fs::conditionWord(static_cast<fs::Condition>(i));
    }
    return text + ".";
}

}  // namespace tavrel::browse::texts
