#include "cli/ImageOpen.h"

#include <iostream>

#include "image/ImageFormats.h"
#include "image/ImageOpener.h"

namespace tavrel::cli {

std::unique_ptr<readWriteInterface> openImage(const std::string& path) {
    OpenedImage opened = tavrel::openImage(path);
    if (!opened) {
        const std::string reason = opened.error == ImageError::NotFound ? "no such file"
                                   : opened.error == ImageError::NotAFile
                                       ? "not an image: only regular files and block devices are read"
                                       : opened.message;
        std::cerr << "tavrel-cli: " << path << ": " << reason << "\n";
        return nullptr;
    }
    return std::move(opened.reader);
}

void addImageArgument(CLI::App* cmd, std::string& image) {
    cmd->add_option("IMAGE", image, "Image file (" + readableFormats() + ")")->required();
}

}  // namespace tavrel::cli
