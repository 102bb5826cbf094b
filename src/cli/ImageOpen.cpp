#include "cli/ImageOpen.h"

#include <sys/stat.h>

#include <iostream>

#include "image/FileReadSeekVHD.h"

namespace tavrel::cli {

std::unique_ptr<readWriteInterface> openImage(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        std::cerr << "tavrel-cli: " << path << ": no such file\n";
        return nullptr;
    }
    auto reader = std::make_unique<FileReadSeekVHD>();
    if (!reader->open(path)) {
        std::cerr << "tavrel-cli: " << path << ": " << reader->lastError() << "\n";
        return nullptr;
    }
    return reader;
}

}  // namespace tavrel::cli
