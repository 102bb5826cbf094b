// Texts the wizard shell shows on every page.
#pragma once

namespace tavrel::app::texts {

inline constexpr const char* kCloseQuestion = "Do you want to Close Application ?";
inline constexpr const char* kAnotherInstance = "Another instance of application is already running";
inline constexpr const char* kWaitForProcess = "Please wait for the running process.";

// Control ids every page has.
inline constexpr const char* kNext = "next";
inline constexpr const char* kBack = "back";
inline constexpr const char* kHelp = "help";
inline constexpr const char* kStatus = "status";
inline constexpr const char* kProgress = "progress";
inline constexpr const char* kStop = "stop";
// And those of every page with a worker.
inline constexpr const char* kPause = "pause";
inline constexpr const char* kResume = "resume";

}  // namespace tavrel::app::texts
