#include "fs/UnixPermissions.h"

namespace tavrel::fs {

std::string permissionText(std::uint16_t mode) {
    static const char* const kBits[9] = {"-OE", "-OW", "-OR", "-GE", "-GW", "-GR", "-UE", "-UW", "-UR"};
    std::string text;
    for (int bit = 0; bit < 9; ++bit)
        if (mode & (1u << bit)) text += kBits[bit];
    return text;
}

}  // namespace tavrel::fs
