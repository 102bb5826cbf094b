#include "image/FileReadSeekVHD.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "image/ImageTable.h"

namespace tavrel {

bool FileReadSeekVHD::fail(OpenResult result, const std::string& text, std::int64_t offset) {
    blockTable.clear();
    storedBlocks_.clear();
    tableEntriesRead = 0;
    diskSize_ = 0;
    return refuse(result, text, offset);
}

bool FileReadSeekVHD::open(std::string path) {
    clearOutcome();
    // Read-only: the image is evidence and is never written.
    if (!file_.openReadOnly(path)) return fail(OpenResult::Unreadable, kInvalidHandleText);
    fileLength = file_.length();
    if (fileLength < static_cast<std::int64_t>(kVhdFooterSize) - 1) return damaged(0);

    // The trailing footer decides the kind; the copy at offset 0 is the fallback
    // (some writers leave a damaged or missing trailing footer).
    std::optional<VhdFooter> footer;
    std::int64_t footerAt = 0;
    std::int64_t unreadable = -1;  // the first footer candidate the file failed to give
    for (const std::int64_t at : vhdFooterCandidates(fileLength)) {
        std::array<std::uint8_t, kVhdFooterSize> raw{};
        if (!file_.readAt(at, raw)) {
            if (unreadable < 0) unreadable = at;
            continue;
        }
        footer = decodeVhdFooter(raw);
        if (footer && footer->hasCookie) {
            footerAt = at;
            break;
        }
        footer.reset();
    }
    const std::int64_t trailing = fileLength - static_cast<std::int64_t>(kVhdFooterSize);
    if (!footer && unreadable >= 0) return fail(OpenResult::Unreadable, imagetexts::unreadableAt(unreadable), unreadable);
    if (!footer) return damaged(std::max<std::int64_t>(trailing, 0));
    footer_ = *footer;
    if (footer_.currentSize > static_cast<std::uint64_t>(INT64_MAX)) return damaged(footerAt + 0x30);

    if (footer_.diskType == static_cast<std::uint32_t>(VhdDiskType::Fixed)) {
        fixed_ = true;
        // The data area ends where the trailing footer starts.
        const std::int64_t dataEnd = footerAt > 0 ? footerAt : trailing;
        diskSize_ = std::max<std::int64_t>(
            0, std::min<std::int64_t>(static_cast<std::int64_t>(footer_.currentSize), dataEnd));
        return true;
    }
    if (footer_.diskType != static_cast<std::uint32_t>(VhdDiskType::Dynamic) &&
        footer_.diskType != static_cast<std::uint32_t>(VhdDiskType::Differencing))
        return damaged(footerAt + 0x3C);

    // Dynamic and differencing: header and table must lie inside the file.
    if (footer_.dataOffset > static_cast<std::uint64_t>(fileLength) ||
        static_cast<std::uint64_t>(fileLength) - footer_.dataOffset < kVhdDynamicHeaderSize)
        return damaged(footerAt + 0x10);
    const auto headerAt = static_cast<std::int64_t>(footer_.dataOffset);
    std::array<std::uint8_t, kVhdDynamicHeaderSize> rawHeader{};
    if (!file_.readAt(headerAt, rawHeader))
        return fail(OpenResult::Unreadable, imagetexts::unreadableAt(headerAt), headerAt);
    header_ = *decodeVhdDynamicHeader(rawHeader);
    if (header_.blockSize == 0 || header_.blockSize % kSectorSize != 0) return damaged(headerAt + 0x20);
    const std::uint64_t tableBytes = std::uint64_t{header_.maxTableEntries} * 4;
    if (header_.tableOffset > static_cast<std::uint64_t>(fileLength) ||
        static_cast<std::uint64_t>(fileLength) - header_.tableOffset < tableBytes)
        return damaged(headerAt + 0x10);

    // The table is read only when the file really stores it (a header may claim
    // gigabytes of table inside a sparse host file), in pieces.
    const auto tableAt = static_cast<std::int64_t>(header_.tableOffset);
    if (!tableJustified(tableBytes, file_)) return damaged(headerAt + 0x1C);
    if (!readTable32(file_, tableAt, header_.maxTableEntries, blockTable, true))
        return fail(OpenResult::Unreadable, imagetexts::unreadableAt(tableAt), tableAt);
    tableEntriesRead = blockTable.size();
    storedBlocks_.clear();
    for (std::uint32_t i = 0; i < blockTable.size(); ++i)
        if (blockTable[i] != kVhdUnallocated) storedBlocks_.push_back(i);
    blockSize_ = header_.blockSize;
    const std::int64_t sectorsPerBlock = blockSize_ / kSectorSize;
    bitmapSize_ = ((sectorsPerBlock + 7) / 8 + kSectorSize - 1) / kSectorSize * kSectorSize;
    // The disk is what the table can address, capped by the footer's size.
    const std::int64_t tableCoverage = static_cast<std::int64_t>(blockTable.size()) * blockSize_;
    diskSize_ = std::min<std::int64_t>(static_cast<std::int64_t>(footer_.currentSize), tableCoverage);
    return true;
}

bool FileReadSeekVHD::seek(std::int64_t position, std::int32_t origin) {
    if (!readWriteInterface::seek(position, origin)) return false;
    sectorAllocated = isUnallocated(position_, kSectorSize) ? 0 : 1;
    return true;
}

const char* FileReadSeekVHD::formatName() const {
    if (fixed_) return "vhd-fixed";
    return footer_.diskType == static_cast<std::uint32_t>(VhdDiskType::Differencing) ? "vhd-differencing"
                                                                                      : "vhd-dynamic";
}

ImageInfo FileReadSeekVHD::describe() const {
    ImageInfo info;
    info.format = formatName();
    // Shown as the signed 32-bit value of the field: version 1.0 reads "65536".
    info.version = InfoValue::of(std::int64_t{static_cast<std::int32_t>(footer_.formatVersion)});
    info.diskSize = diskSize_;
    info.sectors = totalSectors();
    info.statedSize = footer_.originalSize;
    info.geometry = DiskGeometry{footer_.cylinders, footer_.heads, footer_.sectorsPerTrack};
    if (!fixed_) {
        const auto allocated = std::count_if(blockTable.begin(), blockTable.end(),
                                             [](std::uint32_t e) { return e != kVhdUnallocated; });
        info.fields.push_back({"block_size", "Block size", InfoValue::of(blockSize_)});
        info.fields.push_back({"table_entries", "Table entries", InfoValue::of(static_cast<std::int64_t>(blockTable.size()))});
        info.fields.push_back({"allocated_blocks", "Allocated blocks", InfoValue::of(static_cast<std::int64_t>(allocated))});
        if (!header_.parentName.empty())
            info.fields.push_back({"parent", "Parent image", InfoValue::of(header_.parentName)});
    }
    return info;
}

bool FileReadSeekVHD::readAt(std::int64_t diskOffset, MutableByteSpan out) const {
    if (out.empty()) return true;
    // Only the part on the disk is read; the rest reads as zeros and fails.
    bool whole = false;
    const MutableByteSpan part = onDisk(diskSize_, diskOffset, out, whole);
    if (part.empty()) return false;
    const bool ok = fixed_ ? readFixed(diskOffset, part) : readDynamic(diskOffset, part);
    return ok && whole;
}

bool FileReadSeekVHD::readFixed(std::int64_t diskOffset, MutableByteSpan out) const {
    std::size_t got = 0;
    return file_.readAt(diskOffset, out, &got) && got == out.size();
}

bool FileReadSeekVHD::isUnallocated(std::int64_t diskOffset, std::int64_t length) const {
    if (fixed_ || length <= 0 || diskOffset < 0 || diskOffset > diskSize_ || diskSize_ - diskOffset < length)
        return false;
    const std::int64_t first = diskOffset / blockSize_;
    const std::int64_t last = (diskOffset + length - 1) / blockSize_;
    for (std::int64_t b = first; b <= last; ++b) {
        if (b < static_cast<std::int64_t>(blockTable.size()) && blockTable[static_cast<std::size_t>(b)] != kVhdUnallocated)
            return false;
    }
    return true;
}

std::int64_t FileReadSeekVHD::nextStored(std::int64_t diskOffset) const {
    if (fixed_ || diskOffset < 0 || diskOffset >= diskSize_) return diskOffset;
    const auto it = std::lower_bound(storedBlocks_.begin(), storedBlocks_.end(), diskOffset / blockSize_);
    if (it == storedBlocks_.end()) return diskSize_;
    return std::min(std::max(diskOffset, std::int64_t{*it} * blockSize_), diskSize_);
}

bool FileReadSeekVHD::readDynamic(std::int64_t diskOffset, MutableByteSpan out) const {
    bool ok = true;
    std::size_t done = 0;
    while (done < out.size()) {
        const std::int64_t pos = diskOffset + static_cast<std::int64_t>(done);
        const std::int64_t block = pos / blockSize_;
        const std::int64_t inBlock = pos % blockSize_;
        const std::size_t chunk = static_cast<std::size_t>(
            std::min<std::int64_t>(blockSize_ - inBlock, static_cast<std::int64_t>(out.size() - done)));
        const MutableByteSpan part = out.subspan(done, chunk);
        const std::uint32_t entry =
            block < static_cast<std::int64_t>(blockTable.size()) ? blockTable[static_cast<std::size_t>(block)]
                                                                 : kVhdUnallocated;
        if (entry == kVhdUnallocated) {
            std::memset(part.data(), 0, part.size());
        } else {
            // One positioned read for the whole run inside this block. What lies
            // past the file's end (a cut image, or a table entry pointing beyond
            // it) is not stored: it reads as zeros and fails the read.
            const std::int64_t fileOffset = std::int64_t{entry} * kSectorSize + bitmapSize_ + inBlock;
            std::size_t got = 0;
            if (!file_.readAt(fileOffset, part, &got) || got < part.size()) ok = false;
        }
        done += chunk;
    }
    return ok;
}

}  // namespace tavrel
