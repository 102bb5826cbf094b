// Fuzz target: the HFSP parser over an arbitrary volume image held in memory,
// in the standard mode (catalog read through its extents) and in the leaf-node
// scan of the other modes; volume header, B-tree nodes and catalog and
// extents-overflow records all come from the input.
#include "ParserFuzz.h"
#include "fs/hfsplus/HFSP.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrel;
    MemoryImage image(std::vector<std::uint8_t>(data, data + size));
    const VolumeView volume(image, 0);
    for (const auto mode : {fs::RecoveryMode::Standard, fs::RecoveryMode::Deep}) {
        fs::HFSP parser(volume, fs::ScanOptions{mode});
        WorkControl work;
        if (!parser.scan(work)) continue;
        int budget = 4096;
        fuzz::visit(parser, parser.rootLevel(), 0, budget);
    }
    return 0;
}
