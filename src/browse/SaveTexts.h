// The save's own user-facing texts, shared by the scan page, the raw recovery
// page and the CLI.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "browse/SaveReport.h"
#include "fs/Condition.h"

namespace tavrel::browse::texts {

inline constexpr const char* kChooseFolderTitle = "Please choose a folder.";
inline constexpr const char* kNoOutputFolder = "Please select valid output folder";
inline constexpr const char* kWaitForRunning = "Please wait for the running process.";
inline constexpr const char* kWorkDone = "work done";
inline constexpr const char* kSavingFile = "saving File  ";  // followed by the destination path
// After the count of found files saved whose structure breaks off (carving).
inline constexpr const char* kPartialSaved = " file(s) were saved partial: their structure breaks off before its end.";

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

// The lines an end message adds when a save did not write everything: stopped
// early, partial files of a carve, and the first five files that failed with
// why; empty when everything was written.
inline std::string saveProblems(const SaveReport& report) {
    std::string text;
    if (report.stopped) text += "\nSaving was stopped before every file was written.";
    if (report.partial > 0) text += "\n" + std::to_string(report.partial) + kPartialSaved;
    if (report.failed > 0) {
        text += "\n" + std::to_string(report.failed) + " file(s) could not be saved completely:";
        int shown = 0;
        for (const FileOutcome& o : report.notes) {
            if (o.result != FileOutcome::Result::Failed) continue;
            if (++shown > 5) {
                text += "\n...";
                break;
            }
            text += "\n" + o.imagePath + ": " + o.note;
        }
    }
    return text;
}

// The save's count line, as the CLI sums a save up: files written whole,
// files created but not written completely, and files not created at all.
// "Files saved: 48 written, 1 incomplete, 0 failed."
inline std::string savedCountsText(const SaveReport& report) {
    std::int64_t incomplete = 0;
    for (const FileOutcome& o : report.notes)
        if (o.result == FileOutcome::Result::Failed && !o.hostPath.empty()) ++incomplete;
    return "Files saved: " + std::to_string(report.written) + " written, " + std::to_string(incomplete) +
           " incomplete, " + std::to_string(report.failed - incomplete) + " failed.";
}

// The same line for found files of a carve: those whose structure breaks off
// are counted as partial, apart from the ones written whole.
// "Files saved: 12 written, 2 partial, 0 failed."
inline std::string carvedCountsText(const SaveReport& report) {
    return "Files saved: " + std::to_string(report.written - report.partial) + " written, " +
           std::to_string(report.partial) + " partial, " + std::to_string(report.failed) + " failed.";
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
