// Fuzz target: the HFSP parser over an arbitrary volume (whole, pieces of it, or
// its start inside a sparse VHD claiming 2 TiB: see ParserFuzz.h), in the
// standard mode (catalog read through its extents) or, with the variant bit, in
// the leaf-node scan of Deep mode; volume header, B-tree nodes and catalog and
// extents-overflow records all come from the input.
#include "ParserFuzz.h"
#include "fs/hfsplus/HFSP.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrel;
    fuzz::withVolume(data, size, [](const VolumeView& volume, ByteSpan, bool deep) {
        fs::HFSP parser(volume, fs::ScanOptions{deep ? fs::RecoveryMode::Deep : fs::RecoveryMode::Standard});
        WorkControl work;
        if (!parser.scan(work)) return;
        int budget = 4096;
        fuzz::visit(parser, parser.rootLevel(), 0, budget);
    });
    return 0;
}
