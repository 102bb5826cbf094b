// Reader for VMDK images. Two ways in, told apart by the file's content:
//  - a hosted sparse extent ("KDMV"): monolithic sparse and stream-optimized
//    images, read through their own grain directory. The descriptor embedded in
//    them only describes the disk: the file name written there is never used, so
//    a renamed image still opens.
//  - a text descriptor whose extents live in files of their own (split sparse,
//    monolithic flat, split flat): each extent file is found relative to the
//    descriptor's folder and must be a regular file inside it (SiblingFile.h).
//    Extent files are opened on demand through a small pool, so an image of
//    thousands of extents holds only a few files open.
// Extents of type ZERO read as zeros; no parent image is followed (grains absent
// from a differencing image read as zeros). Every file is opened read-only.
// fileLength counts the bytes of every file the image consists of (compressed
// grains as the disk data they can hold): it bounds what a parser may allocate.
#pragma once

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "image/FilePool.h"
#include "image/HostFile.h"
#include "image/LaneWorkers.h"
#include "image/VmdkDescriptor.h"
#include "image/VmdkSparseExtent.h"
#include "image/readWriteInterface.h"

namespace tavrel {

class FileReadSeekVmdk : public readWriteInterface {
public:
    // More extents than this are refused: each sparse one holds its grain directory.
    static constexpr std::size_t kMaxExtents = 4096;

    bool open(std::string path) override;
    bool seek(std::int64_t position, std::int32_t origin = 0) override;
    bool readAt(std::int64_t diskOffset, MutableByteSpan out) const override;
    std::int64_t diskSize() const override { return diskSize_; }
    bool isUnallocated(std::int64_t diskOffset, std::int64_t length) const override;
    std::int64_t nextStored(std::int64_t diskOffset) const override;
    ImageInfo describe() const override;

    const VmdkDescriptor& descriptor() const { return descriptor_; }
    std::size_t extentCount() const { return extents_.size(); }

    // 0 when the sector the last seek mapped has no data in the image.
    std::uint8_t sectorAllocated = 1;

private:
    struct Extent {
        std::int64_t start = 0;   // first byte on the virtual disk
        std::int64_t length = 0;  // bytes
        VmdkExtentType type = VmdkExtentType::Zero;
        ImagePart flat;           // Flat: the data file
        std::int64_t flatOffset = 0;
        std::unique_ptr<VmdkSparseExtent> sparse;
    };

    // Refuses the image: the kind, the file offset where it applies, the text.
    bool fail(OpenResult result, std::string text, std::int64_t offset = -1);
    bool damaged(std::int64_t offset = -1) { return fail(OpenResult::Damaged, kNotVmdkText, offset); }
    bool openSparseFile(HostFile file);
    bool openDescriptorFile(const HostFile& file, const std::string& path);
    bool addExtent(const std::filesystem::path& folder, const VmdkExtentLine& line);
    // Index of the extent holding the disk byte (the disk is known to hold it).
    std::size_t extentAt(std::int64_t diskOffset) const;
    bool readExtent(const Extent& e, std::int64_t offset, MutableByteSpan out) const;
    // Reads a range inside the disk, extent by extent.
    bool readRange(std::int64_t diskOffset, MutableByteSpan out) const;
    // Starts the lanes when the image holds compressed grains.
    void startLanes();

    std::shared_ptr<const FilePool> pool_;  // the extent files of a descriptor
    // Grain directories of all sparse extents together stay within what the
    // distinct extent files store (ImageTable.h): one file named by thousands of
    // extents justifies its directory once.
    std::uint64_t tableBytes_ = 0;
    std::uint64_t tableAllowance_ = 0;
    std::set<std::string> allowanceCounted_;
    std::vector<Extent> extents_;
    VmdkDescriptor descriptor_;
    std::uint32_t sparseVersion_ = 0;  // the sparse header's version, when there is one
    std::int64_t diskSize_ = 0;
    // Threads that inflate compressed grains of long reads side by side, in
    // pieces of whole grains; null when the image has no compressed grains or
    // the machine one processor.
    std::unique_ptr<LaneWorkers> workers_;
    std::size_t lanes_ = 1;
    std::size_t pieceBytes_ = 0;
};

}  // namespace tavrel
