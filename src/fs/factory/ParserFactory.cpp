#include "fs/factory/ParserFactory.h"

#include "fs/factory/FsKinds.h"

namespace tavrel::fs {

std::unique_ptr<Parser> makeParser(const std::string& fsName, const VolumeView& volume, const ScanOptions& options) {
    const FsKindRow* row = findKind(fsName);
    if (!row || !row->make) return nullptr;
    ScanOptions withKinds = options;
    withKinds.kindProbes = fsProbes();
    return row->make(volume, withKinds);
}

}  // namespace tavrel::fs
