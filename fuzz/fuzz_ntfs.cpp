// Fuzzes the NTFS parser: the decoders on raw input, then a whole scan
// (Standard or Deep) of the input taken as a volume (whole, or the start of one
// inside a sparse VHD claiming 2 TiB: see ParserFuzz.h), with every reachable
// entry listed, described and saved.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ParserFuzz.h"
#include "fs/ntfs/AttributeList.h"
#include "fs/ntfs/Lznt1.h"
#include "fs/ntfs/MftRecord.h"
#include "fs/ntfs/RecordLoader.h"
#include "fs/ntfs/RunList.h"
#include "fs/ntfs/ntfs.h"

using namespace tavrel;
using namespace tavrel::fs;

namespace {
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
        } else if (visits < 64 && p.size(e) <= fuzz::kSavedSize) {
            fuzz::BoundedSink sink;
            p.saveFile(e, sink, work);
        }
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The decoders over the input's first bytes (a record is at most 64 KiB, an
    // LZNT1 chunk 4 KiB), with one output buffer kept across inputs.
    static std::vector<std::uint8_t> out(65536);
    const ByteSpan input(data, std::min<std::size_t>(size, 16384));
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
    decompressUnit(input, out);

    // The volume: its boot sector is made to say NTFS with 512-byte sectors so
    // that the MFT path is taken, unless its first byte asks for the
    // damaged-boot path.
    if (size < 2) return 0;
    std::vector<std::uint8_t> bytes(data, data + size);
    if (bytes.size() < 4097) bytes.resize(4097);
    if ((bytes[1] & 1) == 0) {
        bytes[1 + 3] = 'N';
        bytes[1 + 4] = 'T';
        bytes[1 + 5] = 'F';
        bytes[1 + 6] = 'S';
        bytes[1 + 11] = 0;
        bytes[1 + 12] = 2;
    }
    fuzz::withVolume(bytes.data(), bytes.size(), [](const VolumeView& view, ByteSpan, bool deep) {
        ScanOptions options;
        options.mode = deep ? fs::RecoveryMode::Deep : fs::RecoveryMode::Standard;
        ntfs p(view, options);
        WorkControl work;
        p.scan(work);
        walk(p, work);
    });
    return 0;
}
