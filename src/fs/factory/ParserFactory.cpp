#include "fs/factory/ParserFactory.h"

#include "util/Unicode.h"

namespace tavrel::fs {

// Each parser folder registers its kinds here as it lands.
std::unique_ptr<Parser> makeParser(const std::string& fsName, const VolumeView& volume, const ScanOptions& options) {
    (void)fsName;
    (void)volume;
    (void)options;
    return nullptr;
}

}  // namespace tavrel::fs
