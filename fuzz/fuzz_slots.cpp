// Fuzz target: the directory-slot plausibility tests and the Deep-mode scan of
// the FAT family. The input's first byte picks what runs on the rest:
//   bits 0-2: 0 the FAT slot tests, 1 the exFAT entry-set tests, both on the
//             rest taken as directory clusters and as a volume scanned in units;
//             2, 3, 4 a Deep-mode scan of the rest as a FAT16, FAT32 or exFAT
//             volume held in memory, its tree walked and its files saved;
//   bits 3-4: the unit size of the scan, 512 << n bytes;
//   bits 5-7: the cluster count the tests accept, 0 (any) or 2^(4n).
#include "ParserFuzz.h"
#include "fs/fat/Fat16Class.h"
#include "fs/fat/Fat32Class.h"
#include "fs/fat/Fat64Class.h"
#include "fs/fat/SlotScan.h"

using namespace tavrel;
using namespace tavrel::fs::fat;

namespace {

void slotTests(SlotFamily family, ByteSpan bytes, std::uint8_t control) {
    const unsigned countShift = (control >> 5) * 4;
    const SlotLimits limits{countShift == 0 ? 0u : (1u << std::min(countShift, 31u)), bytes.size()};
    for (std::size_t at = 0; at + 32 <= bytes.size(); at += 32) {
        (void)classifyFatSlot(bytes.subspan(at), limits);
        if (plausibleExFatSet(bytes, at, limits) > 0) (void)exFatSetChecksum(bytes.subspan(at), 19);
    }
    DirectoryLook look;
    (void)looksLikeDirectory(family, bytes, limits, &look);

    MemoryImage image(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    const VolumeView volume(image, 0);
    const std::int64_t unit = std::int64_t{512} << ((control >> 3) & 3);
    WorkControl work;
    fs::Warnings warnings;
    SlotScanLimits bounds;
    bounds.maxFound = 64;
    bounds.chunkBytes = 4096;
    const auto found = scanForDirectories(volume, family, SlotScanArea::range(0, volume.size(), unit), limits, bounds,
                                          work, warnings, [](std::uint32_t c) { return c % 7 == 3; });
    for (const FoundDirectory& d : found.found)
        if (d.look.entries == 0 || d.offset % unit != 0) __builtin_trap();
}

template <typename ParserType>
void deepScan(ByteSpan bytes) {
    MemoryImage image(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    const VolumeView volume(image, 0);
    fs::ScanOptions options;
    options.mode = fs::RecoveryMode::Deep;
    ParserType parser(volume, options);
    WorkControl work;
    if (!parser.scan(work)) return;
    int budget = 4096;
    fuzz::visit(parser, parser.rootLevel(), 0, budget);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t control = data[0];
    const ByteSpan bytes(data + 1, size - 1);
    switch (control & 7) {
    case 0: slotTests(SlotFamily::Fat, bytes, control); break;
    case 1: slotTests(SlotFamily::ExFat, bytes, control); break;
    case 2: deepScan<Fat16Class>(bytes); break;
    case 3: deepScan<Fat32Class>(bytes); break;
    case 4: deepScan<Fat64Class>(bytes); break;
    default:
        slotTests(SlotFamily::Fat, bytes, control);
        slotTests(SlotFamily::ExFat, bytes, control);
        break;
    }
    return 0;
}
