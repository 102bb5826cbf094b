// The end of a save on the scan page and the raw recovery page: the save's
// message, then the offer to show the output folder with the desktop's program
// for folders. Where the desktop has none, the user is told where the files are.
#pragma once

#include <string>

#include "app/Gui.h"

namespace tavrel::app {

namespace texts {
inline constexpr const char* kOpenOutputQuestion = "Open the output folder?";
inline constexpr const char* kNoFolderProgram = "No program on this computer opens folders. The saved files are in:";
}  // namespace texts

// Shows text followed by the question; on Yes opens folder, or says where it is.
void offerOutputFolder(Gui& gui, const std::string& text, const std::string& folder);

// The file:// address of a host folder, every byte but letters, digits and
// "/-._~" percent-encoded.
std::string folderUrl(const std::string& folder);

}  // namespace tavrel::app
