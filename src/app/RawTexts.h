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
inline constexpr const char* kFreeOnly = "Free space only";
inline constexpr const char* kFreeOnlyTip =
    "Carve only the space the volume's file system marks as free, where deleted files lie. Faster on a full "
    "volume; files that are still in use are not found.";
inline constexpr const char* kClearFreeOnly = " Clear \"Free space only\" to carve the whole volume.";
// A rule file chosen with "...": refused (Parse waits for another) or taken.
inline constexpr const char* kNotRuleFile =
    "The chosen file is not a rule file. Choose a rule file with \"...\" to enable Parse.";
inline constexpr const char* kRuleFileChosen = "Rule file chosen. Please select parse button to scan.";
// Parse ended before any scan ran (the page serves one scan).
inline constexpr const char* kNoScan = "No scan ran. Press Back and select the volume again to start a new scan.";

}  // namespace tavrel::app::rawtexts
