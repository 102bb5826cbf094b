// Shared body of the parser fuzz targets: scan an arbitrary volume, walk the
// whole tree, and ask every entry for its texts and content.
//
// The input's first byte says where the rest lies and how it is read. Bit 0
// clear: the rest is the whole volume, held in memory; set: it is the start of a
// volume inside a sparse dynamic VHD that claims 2 TiB and stores only the
// volume's first block (SparseVhd.h). Bit 1 picks the scan variant (FAT: as a
// drive formatted since; NTFS: Deep mode), so each input pays for one scan.
// Bit 2 takes the Advanced way of the parsers that hunt for their structures:
// the hunt, then the scan from its first candidate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "SparseVhd.h"
#include "fs/Parser.h"
#include "fs/StructureHunt.h"
#include "image/MemoryImage.h"

namespace tavrel::fuzz {

// Files are saved up to this size: larger ones take the same paths with a
// larger copy buffer, which would only slow every input down.
inline constexpr std::int64_t kSavedSize = 64 << 10;

// Takes a bounded amount, so that a file claiming terabytes over unstored
// ranges cannot make one save run for minutes.
class BoundedSink final : public fs::ByteSink {
public:
    bool write(ByteSpan bytes) override {
        total += bytes.size();
        return total < (256u << 10);
    }
    std::size_t total = 0;
};

// Runs body(volume, bytes, variant) over the input's volume (see above), with
// `bytes` the input after its first byte and `variant` its bit 1.
template <typename Body>
void withVolume(const std::uint8_t* data, std::size_t size, Body&& body) {
    if (size == 0) return;
    const ByteSpan bytes(data + 1, size - 1);
    if ((data[0] & 1) == 0) {
        MemoryImage image(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
        body(VolumeView(image, 0), bytes, (data[0] & 2) != 0);
    } else {
        static SparseVhd vhd;
        vhd.place(bytes);
        body(vhd.volume(), bytes, (data[0] & 2) != 0);
    }
}

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
        } else if (parser.size(e) <= kSavedSize) {
            BoundedSink sink;
            WorkControl work;
            parser.saveFile(e, sink, work);
        }
    }
}

template <typename ParserType>
int fuzzParser(const std::uint8_t* data, std::size_t size) {
    const bool advanced = size > 0 && (data[0] & 4) != 0;
    withVolume(data, size, [advanced](const VolumeView& volume, ByteSpan, bool formatted) {
        fs::ScanOptions options;
        options.driveFormatted = formatted;
        ParserType parser(volume, options);
        WorkControl work;
        if constexpr (std::is_base_of_v<fs::StructureHunter, ParserType>) {
            if (advanced) {
                parser.huntCopies(work, 2);
                parser.useCandidate(0, {});
            }
        }
        if (!parser.scan(work)) return;
        int budget = 4096;
        visit(parser, parser.rootLevel(), 0, budget);
        (void)fs::warningSummary(parser.warnings());
    });
    return 0;
}

}  // namespace tavrel::fuzz
