// The save's own user-facing texts, shared by the scan page and the CLI.
#pragma once

#include <cstdint>
#include <string>

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

}  // namespace tavrel::browse::texts
