// Texts of the raw recovery page (151).
#pragma once

namespace tavrel::app::rawtexts {

inline constexpr const char* kGroup =
    "Click Parse button to add default file settings or create your own file to process raw recovery.";
inline constexpr const char* kSettingLabel = "[Add new signatures in \n new/existing file]";
inline constexpr const char* kTreeTop = "RAW RECOVERY ";
inline constexpr const char* kListColumn = "File(s) List";
inline constexpr const char* kSizeColumn = "Size";
inline constexpr const char* kOpened = "Please select parse button to scan the default file.";
inline constexpr const char* kNoRules = "Enter the info file first..";
inline constexpr const char* kZeroSize = "zero size volume..";
inline constexpr const char* kDone = "Scanning processing done.Select save button to save the data.";
inline constexpr const char* kWorkerDone = "Scanning processing done.Select save button to save the data";
inline constexpr const char* kPausePressed = "Pause button pressed.";
inline constexpr const char* kResumePressed = "Resume button pressed.";
inline constexpr const char* kStopPressed = "Stop button pressed.Please wait for the process to stop";
inline constexpr const char* kNothingTicked = "Please select folder to continue the saving process.";
inline constexpr const char* kNoReader = "Please Restart the program to re begin necessary initialization...";

}  // namespace tavrel::app::rawtexts
