// Writing a file's data fork: the catalog record's extents, then those the
// extents-overflow file adds, copied block run by block run.
#include "fs/hfsplus/HFSP.h"

namespace tavrel::fs {

using namespace hfsplus;

bool HFSP::saveFile(EntryRef e, ByteSink& out, WorkControl& work) {
    const HfsEntry* x = entry(e);
    if (!x || x->folder()) {
        message_ = "Not a valid entry...";
        return false;
    }
    // A hard link's content lies in the iNode file it names.
    const HfsEntry& content = contentOf(*x);
    const std::int64_t bytes = size(e);
    if (bytes == 0) return true;  // an empty file: the host file stays empty
    const ForkMap fork(allExtents(content.cnid, content.extents, content.totalBlocks), blockSize_, volume_.size());
    if (fork.mappedBytes() < bytes && !content.deleted) warnings_.damaged(content.nodeOffset);
    return copyExtents(volume_, fork.extents(bytes), bytes, out, work, &warnings_) == CopyResult::Complete;
}

}  // namespace tavrel::fs
