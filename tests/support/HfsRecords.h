// Sound HFS+ on-disk records as byte arrays, for the decoder tests to damage one
// field at a time: a volume header and a catalog leaf node holding one folder or
// file record. Everything is big-endian.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <utility>

#include "support/ByteWriter.h"

namespace tavrel::test::hfs {

// Writes a fork (HFSPlusForkData) at `at`: its size, its block count and one
// extent per (start, count) pair.
inline void putFork(ByteWriter& w, std::size_t at, std::uint64_t size, std::uint32_t blocks,
                    std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> extents) {
    w.be64(at, size).be32(at + 12, blocks);
    std::size_t e = at + 16;
    for (const auto& [start, count] : extents) {
        w.be32(e, start).be32(e + 4, count);
        e += 8;
    }
}

// Volume header fields the tests change.
inline constexpr std::size_t kHeaderSignature = 0, kHeaderBlockSize = 40, kHeaderTotalBlocks = 44,
                             kHeaderNextCatalogId = 64, kHeaderExtentsFork = 192, kHeaderCatalogFork = 272;

// An HFS+ volume header (512 bytes) of 1000 blocks of 4096 bytes; the extents
// file is 8 KiB at block 10, the catalog file 64 KiB in extents at blocks 20
// (8 blocks) and 40 (the eighth extent, 8 blocks).
inline ByteWriter volumeHeaderBytes() {
    ByteWriter w(512);
    w.be16(kHeaderSignature, 0x482B).be16(2, 4).be32(kHeaderBlockSize, 4096).be32(kHeaderTotalBlocks, 1000);
    w.be32(kHeaderNextCatalogId, 100);
    putFork(w, kHeaderExtentsFork, 8192, 2, {{10, 2}});
    putFork(w, kHeaderCatalogFork, 65536, 16, {{20, 8}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {40, 8}});
    return w;
}

// The first record of a leaf node lies right after its 14-byte descriptor:
// key length, parent ID, name length, name; the record's data follows the key.
inline constexpr std::size_t kLeafKey = 14;
inline constexpr std::size_t leafData(std::size_t nameUnits) { return kLeafKey + 2 + 6 + 2 * nameUnits; }

// Record fields, from the start of the record's data.
inline constexpr std::size_t kRecordCnid = 8, kRecordCreateDate = 12, kRecordFileMode = 42, kRecordSpecial = 44,
                             kRecordFileType = 48, kRecordCreator = 52, kRecordDataFork = 88;

// A 512-byte catalog leaf node with one record: a folder (88 bytes) or a file
// (248 bytes, data fork of 5000 bytes in blocks 50 and 51) named `name` in the
// root folder (2), CNID 20, created 3725003982, mode 0100644.
inline ByteWriter catalogLeafBytes(bool file, std::u16string_view name) {
    ByteWriter w(512);
    w.u8(8, 0xFF).u8(9, 1).be16(10, 1).be16(510, kLeafKey);  // leaf, height 1, one record
    w.be16(kLeafKey, static_cast<std::uint16_t>(6 + 2 * name.size())).be32(kLeafKey + 2, 2);
    w.be16(kLeafKey + 6, static_cast<std::uint16_t>(name.size()));
    for (std::size_t i = 0; i < name.size(); ++i) w.be16(kLeafKey + 8 + 2 * i, name[i]);
    const std::size_t r = leafData(name.size());
    w.be16(r, file ? 2 : 1).be32(r + kRecordCnid, 20).be32(r + kRecordCreateDate, 3725003982u);
    w.be16(r + kRecordFileMode, 0100644);
    if (file) putFork(w, r + kRecordDataFork, 5000, 2, {{50, 2}});
    return w;
}

}  // namespace tavrel::test::hfs
