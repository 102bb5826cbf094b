// Fuzzes the NTFS parser: the decoders on raw input, then a whole scan (Standard
// and Deep) of the input taken as a volume, with every reachable entry listed,
// described and saved.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fs/ntfs/AttributeList.h"
#include "fs/ntfs/Lznt1.h"
#include "fs/ntfs/MftRecord.h"
#include "fs/ntfs/RecordLoader.h"
#include "fs/ntfs/RunList.h"
#include "fs/ntfs/ntfs.h"
#include "image/MemoryImage.h"

using namespace tavrel;
using namespace tavrel::fs;

namespace {
// Accepts a bounded amount, so a hostile size cannot make one save run for ever.
class BoundedSink final : public ByteSink {
public:
    bool write(ByteSpan bytes) override {
        taken_ += bytes.size();
        return taken_ < (256u << 10);
    }

private:
    std::size_t taken_ = 0;
};

void walk(ntfs& p, WorkControl& work) {
    std::vector<EntryRef> stack = p.rootLevel();
    std::size_t visits = 0;
    while (!stack.empty() && visits++ < 2000) {
        const EntryRef e = stack.back();
        stack.pop_back();
        p.name(e);
        p.isDeleted(e);
        p.describeEntry(e);
        p.sizeText(e);
        p.times(e);
        if (p.isFolder(e)) {
            for (auto c : p.children(e)) stack.push_back(c);
        } else if (visits < 64) {
            BoundedSink sink;
            p.saveFile(e, sink, work);
        }
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ByteSpan input(data, size);
    decodeBootSector(input);
    decodeRunList(input, ~std::uint64_t{0});
    walkAttributeList(input);
    if (auto record = decodeRecord(std::vector<std::uint8_t>(input.begin(), input.end()), 0)) {
        NtfsEntry entry;
        readEntryFields(*record, entry);
        for (const auto& a : record->attributes) {
            decodeFileName(record->value(a));
            decodeStandardInformation(record->value(a));
            decodeRunList(record->runList(a), a.lastVcn - a.firstVcn + 1);
        }
    }
    std::vector<std::uint8_t> out(65536);
    decompressUnit(input, out);

    // The input as a volume: the boot sector is made to say NTFS with 512-byte
    // sectors so that the MFT path is taken, unless the first byte asks for the
    // damaged-boot path.
    std::vector<std::uint8_t> volume(input.begin(), input.end());
    if (volume.size() < 4096) volume.resize(4096);
    if (!volume.empty() && (volume[0] & 1) == 0) {
        volume[3] = 'N';
        volume[4] = 'T';
        volume[5] = 'F';
        volume[6] = 'S';
        volume[11] = 0;
        volume[12] = 2;
    }
    MemoryImage image(std::move(volume));
    VolumeView view(image, 0);
    for (int mode : {1, 3}) {
        ScanOptions options;
        options.mode = static_cast<fs::RecoveryMode>(mode);
        ntfs p(view, options);
        WorkControl work;
        p.scan(work);
        walk(p, work);
    }
    return 0;
}
