// Shared body of the parser fuzz targets: scan an arbitrary volume, walk the
// whole tree, and ask every entry for its texts and content.
//
// The input's first byte says where the rest lies and how it is read. Bit 0
// clear: the rest is the whole volume, held in memory; set: it is the start of a
// volume inside a sparse dynamic VHD that claims 2 TiB and stores only the
// volume's first block (SparseVhd.h). Bit 1 picks the scan variant (FAT: as a
// drive formatted since; NTFS and HFS+: Deep mode), so each input pays for one
// scan. Bit 2 takes the Advanced way of the parsers that hunt for their
// structures: the hunt, then the scan from its first candidate. Bit 3 says the
// rest is not the volume's start but pieces of its first 2 MiB (see `Pieces`),
// so that a seed carries only the sectors a volume uses, wherever they lie.
#pragma once

#include <algorithm>
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

// Pieces of a volume's first block: each is a 4-byte little-endian sector
// number, a 2-byte sector count and that many sectors of content (fewer when
// the input ends first). Pieces reaching past the block are cut at its end.
class Pieces {
public:
    explicit Pieces(ByteSpan bytes) : bytes_(bytes) {}

    // Calls put(offset, content) for each piece, in input order; returns the end
    // of the farthest one.
    template <typename Put>
    std::size_t each(Put&& put) const {
        std::size_t end = 0;
        for (std::size_t at = 0; at + 6 <= bytes_.size();) {
            const std::uint64_t sector = std::uint64_t{bytes_[at]} | std::uint64_t{bytes_[at + 1]} << 8 |
                                         std::uint64_t{bytes_[at + 2]} << 16 | std::uint64_t{bytes_[at + 3]} << 24;
            const std::size_t count = std::size_t{bytes_[at + 4]} | std::size_t{bytes_[at + 5]} << 8;
            at += 6;
            const std::size_t length = std::min(count * 512, bytes_.size() - at);
            const std::uint64_t offset = sector * 512;
            if (offset < SparseVhd::kBlockBytes) {
                const std::size_t kept = static_cast<std::size_t>(std::min<std::uint64_t>(length, SparseVhd::kBlockBytes - offset));
                put(static_cast<std::size_t>(offset), bytes_.subspan(at, kept));
                end = std::max(end, static_cast<std::size_t>(offset) + kept);
            }
            at += length;
        }
        return end;
    }

private:
    ByteSpan bytes_;
};

// Runs body(volume, bytes, variant) over the input's volume (see above), with
// `bytes` the input after its first byte and `variant` its bit 1.
template <typename Body>
void withVolume(const std::uint8_t* data, std::size_t size, Body&& body) {
    if (size == 0) return;
    const ByteSpan bytes(data + 1, size - 1);
    const bool variant = (data[0] & 2) != 0;
    const bool pieces = (data[0] & 8) != 0;
    if ((data[0] & 1) == 0) {
        std::vector<std::uint8_t> content;
        if (pieces) {
            content.resize(Pieces(bytes).each([](std::size_t, ByteSpan) {}));
            Pieces(bytes).each([&](std::size_t at, ByteSpan piece) { std::copy(piece.begin(), piece.end(), content.begin() + static_cast<std::ptrdiff_t>(at)); });
        } else {
            content.assign(bytes.begin(), bytes.end());
        }
        MemoryImage image(std::move(content));
        body(VolumeView(image, 0), bytes, variant);
    } else {
        static SparseVhd vhd;
        vhd.clear();
        if (pieces)
            Pieces(bytes).each([](std::size_t at, ByteSpan piece) { vhd.write(piece, at); });
        else
            vhd.write(bytes, 0);
        body(vhd.volume(), bytes, variant);
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
    withVolume(data, size, [&](const VolumeView& volume, ByteSpan, bool formatted) {
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
