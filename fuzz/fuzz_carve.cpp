// Fuzz target: the carving engine over an arbitrary volume held in memory. The
// first bytes choose a rule (signatures, size field, header and approximate
// size), the rest is the volume; fixed rules for the kinds with structure checks
// and exact ends run beside it.
#include <cstdint>
#include <vector>

#include "image/MemoryImage.h"
#include "image/VolumeView.h"
#include "raw/SettingsRecord.h"
#include "raw/myJpg.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrel;
    if (size < raw::kRecordSize) return 0;
    raw::myJpg engine;
    const raw::SettingsRecord record = raw::decodeRecord(ByteSpan(data, raw::kRecordSize));
    if (raw::recordProblem(record).empty()) engine.rules().push_back(raw::ruleFromRecord(record, 0));
    const auto fixed = [&](const char* ext, std::vector<std::uint8_t> start, std::vector<std::uint8_t> end,
                           int offset = 0) {
        raw::SignatureRule rule;
        rule.extension = ext;
        rule.start = std::move(start);
        rule.end = std::move(end);
        rule.startOffset = offset;
        rule.approxSize = 1 << 20;
        engine.rules().push_back(rule);
    };
    fixed("jpg", {0xFF, 0xD8, 0xFF}, {0xFF, 0xD9});
    fixed("png", {0x89, 0x50, 0x4E, 0x47}, {0x49, 0x45, 0x4E, 0x44});
    fixed("zip", {0x50, 0x4B, 0x03, 0x04}, {0x50, 0x4B, 0x05, 0x06});
    fixed("pdf", {0x25, 0x50, 0x44, 0x46}, {0x25, 0x25, 0x45, 0x4F, 0x46});
    fixed("db", {0x53, 0x51, 0x4C, 0x69}, {});
    fixed("gif", {0x47, 0x49, 0x46, 0x38}, {0x00, 0x3B});
    fixed("mp3", {0x49, 0x44, 0x33}, {});
    fixed("mp3", {0xFF, 0xFB}, {});
    // The other families with structure walks.
    fixed("ogg", {'O', 'g', 'g', 'S'}, {});
    fixed("mp4", {'f', 't', 'y', 'p'}, {}, 4);
    fixed("wav", {'R', 'I', 'F', 'F'}, {});
    fixed("mpg", {0x00, 0x00, 0x01, 0xBA}, {});
    fixed("mkv", {0x1A, 0x45, 0xDF, 0xA3}, {});
    fixed("doc", {0xD0, 0xCF, 0x11, 0xE0}, {});
    fixed("bmp", {'B', 'M'}, {});
    fixed("tif", {'I', 'I'}, {});
    fixed("tif", {'M', 'M'}, {});
    fixed("flac", {'f', 'L', 'a', 'C'}, {});
    fixed("gz", {0x1F, 0x8B}, {});
    fixed("bz2", {'B', 'Z', 'h'}, {});
    fixed("xz", {0xFD, '7', 'z', 'X'}, {});
    fixed("7z", {'7', 'z', 0xBC, 0xAF}, {});
    fixed("elf", {0x7F, 'E', 'L', 'F'}, {});
    fixed("exe", {'M', 'Z'}, {});
    fixed("sh", {'#', '!'}, {});
    MemoryImage image(std::vector<std::uint8_t>(data + raw::kRecordSize, data + size));
    const VolumeView view(image, 0);
    WorkControl work;
    engine.carve(view, work);
    for (const raw::FoundFile& f : engine.found())
        if (f.start < 0 || f.length <= 0 || f.start + f.length > view.size()) __builtin_trap();
    return 0;
}
