#include "app/SaveEnd.h"

namespace tavrel::app {

std::string folderUrl(const std::string& folder) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (const unsigned char c : folder) {
        const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (alnum || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += kHex[c >> 4];
            url += kHex[c & 15];
        }
    }
    return url;
}

void offerOutputFolder(Gui& gui, const std::string& text, const std::string& folder) {
    if (gui.messageBox(text + "\n" + texts::kOpenOutputQuestion, Buttons::YesNo, Icon::Question) != Answer::Yes)
        return;
    if (!gui.openUrl(folderUrl(folder))) gui.messageBox(std::string(texts::kNoFolderProgram) + "\n" + folder);
}

}  // namespace tavrel::app
