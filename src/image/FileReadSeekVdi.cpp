#include "image/FileReadSeekVdi.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "image/ImageTable.h"
#include "image/ImageTexts.h"

namespace tavrel {

bool FileReadSeekVdi::fail(OpenResult result, std::string text, std::int64_t offset) {
    blockMap_.clear();
    storedBlocks_.clear();
    diskSize_ = 0;
    return refuse(result, std::move(text), offset);
}

bool FileReadSeekVdi::open(std::string path) {
    clearOutcome();
    // Read-only: the image is evidence and is never written.
    if (!file_.openReadOnly(path)) return fail(OpenResult::Unreadable, imagetexts::kInvalidHandle);
    fileLength = file_.length();
    std::array<std::uint8_t, kVdiHeaderBytes> raw{};
    std::size_t got = 0;
    if (!file_.readAt(0, raw, &got)) return fail(OpenResult::Unreadable, imagetexts::unreadableAt(0), 0);
    if (got < raw.size()) return fail(OpenResult::Damaged, kNotVdiText, static_cast<std::int64_t>(got));
    header_ = *decodeVdiHeader(raw);
    // Sizes and offsets are checked against the file before the map is allocated.
    if (const auto problem = vdiHeaderProblem(header_, fileLength))
        return fail(problem->result, kNotVdiText, problem->offset);

    // The map is read only as far as the disk reaches (a header may claim more
    // blocks than its disk has), and only when the file really stores it.
    const std::uint64_t diskBlocks = (header_.diskSize - 1) / header_.blockSize + 1;
    const std::uint64_t entries = std::min<std::uint64_t>(header_.blocks, diskBlocks);
    if (!tableJustified(entries * 4, file_)) return fail(OpenResult::Damaged, kNotVdiText, 0x180);
    const std::int64_t mapAt = header_.blocksOffset;
    if (!readTable32(file_, mapAt, entries, blockMap_))
        return fail(OpenResult::Unreadable, imagetexts::unreadableAt(mapAt), mapAt);
    storedBlocks_.clear();
    for (std::size_t i = 0; i < blockMap_.size(); ++i)
        if (hasData(blockMap_[i])) storedBlocks_.push_back(static_cast<std::uint32_t>(i));
    // An image with no allocated block is a sound empty disk and opens. The disk is
    // what the map can address, capped by the header's size.
    const std::uint64_t coverage = std::uint64_t{blockMap_.size()} * header_.blockSize;
    diskSize_ = static_cast<std::int64_t>(std::min(header_.diskSize, coverage));
    return true;
}

bool FileReadSeekVdi::seek(std::int64_t position, std::int32_t origin) {
    if (!readWriteInterface::seek(position, origin)) return false;
    sectorAllocated = isUnallocated(position_, kSectorSize) ? 0 : 1;
    return true;
}

bool FileReadSeekVdi::isUnallocated(std::int64_t diskOffset, std::int64_t length) const {
    if (length <= 0 || diskOffset < 0 || diskOffset > diskSize_ || diskSize_ - diskOffset < length) return false;
    const std::int64_t first = diskOffset / header_.blockSize;
    const std::int64_t last = (diskOffset + length - 1) / header_.blockSize;
    for (std::int64_t b = first; b <= last; ++b) {
        if (hasData(blockMap_[static_cast<std::size_t>(b)])) return false;
    }
    return true;
}

std::int64_t FileReadSeekVdi::nextStored(std::int64_t diskOffset) const {
    if (diskOffset < 0 || diskOffset >= diskSize_) return diskOffset;
    const std::int64_t blockSize = header_.blockSize;
    const auto it = std::lower_bound(storedBlocks_.begin(), storedBlocks_.end(), diskOffset / blockSize);
    if (it == storedBlocks_.end()) return diskSize_;
    return std::min(std::max(diskOffset, std::int64_t{*it} * blockSize), diskSize_);
}

bool FileReadSeekVdi::readAt(std::int64_t diskOffset, MutableByteSpan out) const {
    if (out.empty()) return true;
    // Only the part on the disk is read; the rest reads as zeros and fails.
    bool ok = false;
    const MutableByteSpan part = onDisk(diskSize_, diskOffset, out, ok);
    if (part.empty()) return false;
    const std::int64_t blockSize = header_.blockSize;
    const std::int64_t stride = blockSize + header_.blockExtra;
    std::size_t done = 0;
    while (done < part.size()) {
        const std::int64_t pos = diskOffset + static_cast<std::int64_t>(done);
        const std::int64_t block = pos / blockSize;
        const std::int64_t inBlock = pos % blockSize;
        const auto chunk = static_cast<std::size_t>(
            std::min<std::int64_t>(blockSize - inBlock, static_cast<std::int64_t>(part.size() - done)));
        const std::uint32_t entry = blockMap_[static_cast<std::size_t>(block)];
        if (hasData(entry)) {
            // One positioned read for the run inside this block. A block stored
            // beyond the end of the file (a cut image) reads as zeros and fails.
            const std::int64_t fileOffset =
                std::int64_t{header_.dataOffset} + std::int64_t{entry} * stride + header_.blockExtra + inBlock;
            std::size_t got = 0;
            if (!file_.readAt(fileOffset, part.subspan(done, chunk), &got) || got < chunk) ok = false;
        } else {
            const MutableByteSpan zeros = part.subspan(done, chunk);
            std::fill(zeros.begin(), zeros.end(), std::uint8_t{0});
        }
        done += chunk;
    }
    return ok;
}

ImageInfo FileReadSeekVdi::describe() const {
    ImageInfo info;
    info.format = "vdi";
    // Shown as the signed 32-bit value of the field: version 1.1 reads "65537".
    info.version = InfoValue::of(std::int64_t{static_cast<std::int32_t>(header_.version)});
    info.diskSize = diskSize_;
    info.sectors = totalSectors();
    info.statedSize = header_.diskSize;
    info.geometry = DiskGeometry{header_.cylinders, header_.heads, header_.sectorsPerTrack};
    const auto allocated = std::count_if(blockMap_.begin(), blockMap_.end(), hasData);
    info.fields.push_back({"image_type", "Image type", InfoValue::of(std::string(vdiImageTypeName(header_.imageType)))});
    info.fields.push_back({"block_size", "Block size", InfoValue::of(std::int64_t{header_.blockSize})});
    info.fields.push_back({"table_entries", "Table entries", InfoValue::of(static_cast<std::int64_t>(blockMap_.size()))});
    info.fields.push_back({"allocated_blocks", "Allocated blocks", InfoValue::of(static_cast<std::int64_t>(allocated))});
    return info;
}

}  // namespace tavrel
