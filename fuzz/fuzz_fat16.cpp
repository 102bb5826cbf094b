// Fuzz target: the Fat16Class parser over an arbitrary volume image held in memory.
// Scans, walks the whole tree, and asks every entry for its texts and content.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fs/fat/Fat16Class.h"
#include "image/MemoryImage.h"

namespace {

class CountingSink : public tavrel::fs::ByteSink {
public:
    bool write(tavrel::ByteSpan bytes) override {
        total += bytes.size();
        return true;
    }
    std::size_t total = 0;
};

void visit(tavrel::fs::Parser& parser, const std::vector<tavrel::fs::EntryRef>& level, int depth, int& budget) {
    for (const auto e : level) {
        if (--budget < 0 || depth > 64) return;
        (void)parser.name(e);
        (void)parser.describeEntry(e);
        (void)parser.sizeText(e);
        (void)parser.times(e);
        (void)parser.isDeleted(e);
        if (parser.isFolder(e)) {
            visit(parser, parser.children(e), depth + 1, budget);
        } else {
            CountingSink sink;
            tavrel::WorkControl work;
            parser.saveFile(e, sink, work);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tavrel::MemoryImage image(std::vector<std::uint8_t>(data, data + size));
    const tavrel::VolumeView volume(image, 0);
    for (const bool formatted : {false, true}) {
        tavrel::fs::ScanOptions options;
        options.driveFormatted = formatted;
        tavrel::fs::fat::Fat16Class parser(volume, options);
        tavrel::WorkControl work;
        if (!parser.scan(work)) return 0;
        int budget = 4096;
        visit(parser, parser.rootLevel(), 0, budget);
    }
    return 0;
}
