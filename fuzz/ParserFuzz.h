// Shared body of the parser fuzz targets: scan an arbitrary volume held in
// memory (plain and drive-formatted), walk the whole tree, and ask every entry for
// its texts and content.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fs/Parser.h"
#include "image/MemoryImage.h"

namespace tavrel::fuzz {

class CountingSink : public fs::ByteSink {
public:
    bool write(ByteSpan bytes) override {
        total += bytes.size();
        return true;
    }
    std::size_t total = 0;
};

inline void visit(fs::Parser& parser, const std::vector<fs::EntryRef>& level, int depth, int& budget) {
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
            WorkControl work;
            parser.saveFile(e, sink, work);
        }
    }
}

template <typename ParserType>
int fuzzParser(const std::uint8_t* data, std::size_t size) {
    MemoryImage image(std::vector<std::uint8_t>(data, data + size));
    const VolumeView volume(image, 0);
    for (const bool formatted : {false, true}) {
        fs::ScanOptions options;
        options.driveFormatted = formatted;
        ParserType parser(volume, options);
        WorkControl work;
        const fs::ScanOutcome outcome = parser.scan(work);
        if (!outcome) return 0;
        int budget = 4096;
        visit(parser, parser.rootLevel(), 0, budget);
        (void)fs::warningSummary(parser.warnings());
    }
    return 0;
}

}  // namespace tavrel::fuzz
