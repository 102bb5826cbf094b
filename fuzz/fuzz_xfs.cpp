// Fuzz target: the XFS parser (superblock, inodes, extent lists and B+trees,
// folders in every form and their free space, inode B+trees) over an arbitrary
// volume: whole, pieces of it, or its start inside a sparse VHD claiming 2 TiB
// (ParserFuzz.h). The scan variant is Deep mode.
#include "ParserFuzz.h"
#include "fs/xfs/XfsClass.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrel;
    fuzz::withVolume(data, size, [](const VolumeView& volume, ByteSpan, bool deep) {
        fs::XfsClass parser(volume, fs::ScanOptions{deep ? fs::RecoveryMode::Deep : fs::RecoveryMode::Standard});
        WorkControl work;
        if (!parser.scan(work)) return;
        int budget = 4096;
        fuzz::visit(parser, parser.rootLevel(), 0, budget);
    });
    return 0;
}
