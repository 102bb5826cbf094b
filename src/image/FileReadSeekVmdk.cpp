#include "image/FileReadSeekVmdk.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <thread>

#include "image/ImageTable.h"
#include "image/ImageTexts.h"
#include "image/SiblingFile.h"

namespace tavrel {

namespace fsys = std::filesystem;

namespace {

constexpr std::int64_t kMaxSectors = INT64_MAX / 512;
// Grain tables cached for the sparse extents of a descriptor, all together.
constexpr std::uint64_t kTableCacheBytes = 64u << 20;
// Lanes for compressed grains: one per processor, at most kMaxLanes; a lane
// takes pieces of at least kLanePiece bytes of the disk.
constexpr std::size_t kMaxLanes = 4;
constexpr std::int64_t kLanePiece = 256 * 1024;

}  // namespace

bool FileReadSeekVmdk::fail(OpenResult result, std::string text, std::int64_t offset) {
    extents_.clear();
    workers_.reset();
    lanes_ = 1;
    pool_.reset();
    descriptor_ = {};
    diskSize_ = 0;
    return refuse(result, std::move(text), offset);
}

bool FileReadSeekVmdk::open(std::string path) {
    clearOutcome();
    extents_.clear();
    // Read-only: the image is evidence and is never written.
    HostFile file;
    if (!file.openReadOnly(path)) return fail(OpenResult::Unreadable, imagetexts::kInvalidHandle);
    fileLength = file.length();
    std::array<std::uint8_t, kVmdkHeaderSize> head{};
    std::size_t got = 0;
    if (!file.readAt(0, head, &got)) return fail(OpenResult::Unreadable, imagetexts::unreadableAt(0), 0);
    const bool opened = got >= 4 && le32(head, 0) == kVmdkMagic ? openSparseFile(std::move(file))
                                                                 : openDescriptorFile(file, path);
    if (opened) startLanes();
    return opened;
}

void FileReadSeekVmdk::startLanes() {
    workers_.reset();
    lanes_ = 1;
    std::int64_t grain = 0;
    for (const Extent& e : extents_)
        if (e.sparse && e.sparse->header().compressed()) grain = std::max(grain, e.sparse->grainBytes());
    const std::size_t lanes = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, kMaxLanes);
    if (grain <= 0 || lanes == 1) return;
    lanes_ = lanes;
    pieceBytes_ = static_cast<std::size_t>((kLanePiece + grain - 1) / grain * grain);
    workers_ = std::make_unique<LaneWorkers>(lanes_ - 1);
}

bool FileReadSeekVmdk::openSparseFile(HostFile file) {
    FormatProblem why;
    const std::uint64_t allowance = tableAllowance(file);
    auto sparse = VmdkSparseExtent::open(ImagePart(std::move(file)), allowance, &why);
    if (!sparse && why.result == OpenResult::Unreadable && why.offset >= 0)
        return fail(why.result, imagetexts::unreadableAt(why.offset), why.offset);
    if (!sparse) return fail(why.result, kNotVmdkText, why.offset);
    sparseVersion_ = sparse->header().version;
    // The embedded descriptor describes the disk; its extent list (this very
    // file, under whatever name it was made) is not followed.
    if (auto d = parseVmdkDescriptor(sparse->embeddedDescriptor())) descriptor_ = std::move(*d);
    if (descriptor_.createType.empty())
        descriptor_.createType = sparse->header().compressed() ? "streamOptimized" : "monolithicSparse";
    Extent e;
    e.type = VmdkExtentType::Sparse;
    e.length = sparse->size();
    fileLength = sparse->storedBytes();
    e.sparse = std::move(sparse);
    diskSize_ = e.length;
    extents_.push_back(std::move(e));
    return true;
}

bool FileReadSeekVmdk::openDescriptorFile(const HostFile& file, const std::string& path) {
    // A file with neither the sparse magic nor a descriptor's text is refused here.
    if (fileLength <= 0 || fileLength > kVmdkMaxDescriptorBytes) return damaged(0);
    std::vector<std::uint8_t> text(static_cast<std::size_t>(fileLength));
    if (!file.readAt(0, text)) return fail(OpenResult::Unreadable, imagetexts::unreadableAt(0), 0);
    if (!looksLikeVmdkDescriptor(text)) return damaged(0);
    auto d = parseVmdkDescriptor(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()),
                                 kMaxExtents);
    if (!d || d->extents.empty()) return damaged(0);
    std::error_code ec;
    const fsys::path folder = fsys::absolute(fsys::path(path), ec).parent_path();
    if (ec) return fail(OpenResult::Unreadable, imagetexts::kInvalidHandle);
    pool_ = std::make_shared<FilePool>();
    tableBytes_ = 0;
    tableAllowance_ = kTableBytesAlways;
    allowanceCounted_.clear();
    for (const VmdkExtentLine& line : d->extents)
        if (!addExtent(folder, line)) return false;
    if (diskSize_ <= 0) return damaged(0);
    // The grain table caches of all sparse extents share kTableCacheBytes.
    std::uint64_t cacheWanted = 0;
    for (const Extent& e : extents_)
        if (e.sparse) cacheWanted += e.sparse->tableBytes();
    const auto slots = static_cast<std::size_t>(kTableCacheBytes / std::max<std::uint64_t>(cacheWanted, 1));
    for (Extent& e : extents_)
        if (e.sparse) e.sparse->limitCache(slots);
    descriptor_ = std::move(*d);
    return true;
}

bool FileReadSeekVmdk::addExtent(const fsys::path& folder, const VmdkExtentLine& line) {
    if (line.sectors == 0) return true;  // an empty extent adds nothing to the disk
    if (line.sectors > static_cast<std::uint64_t>(kMaxSectors - diskSize_ / 512)) return damaged();
    Extent e;
    e.start = diskSize_;
    e.length = static_cast<std::int64_t>(line.sectors) * 512;
    e.type = line.type;
    std::int64_t stored = 0;
    if (line.type == VmdkExtentType::Unsupported)
        return fail(OpenResult::Unsupported, imagetexts::vmdkExtentTypeUnread(line.typeName));
    if (line.type != VmdkExtentType::Zero) {
        fsys::path file;
        switch (namedFileInside(folder, line.fileName, &file)) {
            case NamedFile::Outside:
                return fail(OpenResult::MissingCompanion, imagetexts::vmdkExtentOutside(line.fileName));
            case NamedFile::Missing:
                return fail(OpenResult::MissingCompanion, imagetexts::vmdkExtentMissing(line.fileName));
            case NamedFile::NotAFile:
                return fail(OpenResult::MissingCompanion, imagetexts::vmdkExtentNotAFile(line.fileName));
            case NamedFile::Ok: break;
        }
        // Opened once now to be sure it opens; later reads reopen it through the pool.
        HostFile data;
        if (!data.openRegularReadOnly(file.string()))
            return fail(OpenResult::Unreadable, imagetexts::vmdkExtentUnopenable(line.fileName));
        ImagePart part(pool_, file.string(), data.length());
        if (line.type == VmdkExtentType::Flat) {
            // The extent's last byte must stay addressable in the file.
            if (line.offset > static_cast<std::uint64_t>(kMaxSectors) - line.sectors) return damaged();
            e.flatOffset = static_cast<std::int64_t>(line.offset) * 512;
            stored = part.length();
            e.flat = std::move(part);
        } else {
            if (allowanceCounted_.insert(file.string()).second)
                tableAllowance_ = tableAllowance_ + tableAllowance(data) - kTableBytesAlways;
            FormatProblem why;
            e.sparse = VmdkSparseExtent::open(std::move(part), tableAllowance_ - tableBytes_, &why);
            if (!e.sparse) return fail(OpenResult::Damaged, imagetexts::vmdkExtentDamaged(line.fileName));
            sparseVersion_ = e.sparse->header().version;
            stored = e.sparse->storedBytes();
            tableBytes_ += e.sparse->directoryBytes();
        }
    }
    diskSize_ += e.length;
    fileLength = stored > INT64_MAX - fileLength ? INT64_MAX : fileLength + stored;
    extents_.push_back(std::move(e));
    return true;
}

std::size_t FileReadSeekVmdk::extentAt(std::int64_t diskOffset) const {
    const auto it = std::upper_bound(extents_.begin(), extents_.end(), diskOffset,
                                     [](std::int64_t off, const Extent& e) { return off < e.start; });
    return static_cast<std::size_t>(it - extents_.begin()) - 1;
}

bool FileReadSeekVmdk::readExtent(const Extent& e, std::int64_t offset, MutableByteSpan out) const {
    switch (e.type) {
        case VmdkExtentType::Flat: {
            // A data file shorter than its extent (a cut copy) reads zeros there and fails.
            std::size_t got = 0;
            return e.flat.readAt(e.flatOffset + offset, out, &got) && got == out.size();
        }
        case VmdkExtentType::Sparse: {
            // The descriptor may give the extent more sectors than its file holds.
            const std::int64_t inFile = std::clamp<std::int64_t>(e.sparse->size() - offset, 0,
                                                                 static_cast<std::int64_t>(out.size()));
            std::memset(out.data(), 0, out.size());
            const bool ok = inFile == 0 || e.sparse->read(offset, out.first(static_cast<std::size_t>(inFile)));
            return ok && inFile == static_cast<std::int64_t>(out.size());
        }
        default:
            std::memset(out.data(), 0, out.size());
            return true;
    }
}

bool FileReadSeekVmdk::readRange(std::int64_t diskOffset, MutableByteSpan out) const {
    bool ok = true;
    std::size_t done = 0;
    for (std::size_t i = extentAt(diskOffset); done < out.size(); ++i) {
        const Extent& e = extents_[i];
        const std::int64_t inExtent = diskOffset + static_cast<std::int64_t>(done) - e.start;
        const auto chunk = static_cast<std::size_t>(
            std::min<std::int64_t>(e.length - inExtent, static_cast<std::int64_t>(out.size() - done)));
        if (!readExtent(e, inExtent, out.subspan(done, chunk))) ok = false;
        done += chunk;
    }
    return ok;
}

bool FileReadSeekVmdk::readAt(std::int64_t diskOffset, MutableByteSpan out) const {
    if (out.empty()) return true;
    // Only the part on the disk is read; the rest reads as zeros and fails.
    bool whole = false;
    const MutableByteSpan part = onDisk(diskSize_, diskOffset, out, whole);
    if (part.empty()) return false;
    // A long read of compressed grains is shared between the lanes, in pieces
    // that start on a piece boundary of the disk, so that no grain is inflated
    // by two lanes.
    const auto piece = static_cast<std::int64_t>(pieceBytes_);
    const auto lead = workers_ ? static_cast<std::size_t>(std::min<std::int64_t>(
                                     (piece - diskOffset % piece) % piece, static_cast<std::int64_t>(part.size())))
                               : std::size_t{0};
    if (!workers_ || part.size() - lead < 2 * pieceBytes_) return readRange(diskOffset, part) && whole;
    bool ok = readRange(diskOffset, part.first(lead));
    const MutableByteSpan rest = part.subspan(lead);
    const std::int64_t restAt = diskOffset + static_cast<std::int64_t>(lead);
    ok = workers_->runPieces(lanes_, rest.size(), pieceBytes_,
                             [&](std::size_t, std::size_t from, std::size_t n) {
                                 return readRange(restAt + static_cast<std::int64_t>(from), rest.subspan(from, n));
                             }) &&
         ok;
    return ok && whole;
}

bool FileReadSeekVmdk::isUnallocated(std::int64_t diskOffset, std::int64_t length) const {
    if (length <= 0 || diskOffset < 0 || diskOffset > diskSize_ || diskSize_ - diskOffset < length) return false;
    std::int64_t done = 0;
    for (std::size_t i = extentAt(diskOffset); done < length; ++i) {
        const Extent& e = extents_[i];
        const std::int64_t inExtent = diskOffset + done - e.start;
        const std::int64_t chunk = std::min(e.length - inExtent, length - done);
        if (e.type == VmdkExtentType::Flat) return false;
        if (e.type == VmdkExtentType::Sparse) {
            const std::int64_t inFile = std::clamp<std::int64_t>(e.sparse->size() - inExtent, 0, chunk);
            if (inFile > 0 && !e.sparse->isUnallocated(inExtent, inFile)) return false;
        }
        done += chunk;
    }
    return true;
}

std::int64_t FileReadSeekVmdk::nextStored(std::int64_t diskOffset) const {
    if (diskOffset < 0 || diskOffset >= diskSize_) return diskOffset;
    for (std::size_t i = extentAt(diskOffset); i < extents_.size(); ++i) {
        const Extent& e = extents_[i];
        const std::int64_t from = std::max<std::int64_t>(diskOffset - e.start, 0);
        if (from >= e.length) continue;
        if (e.type == VmdkExtentType::Flat) return e.start + from;
        if (e.type == VmdkExtentType::Sparse) {
            // Past the end of its file a sparse extent stores nothing.
            const std::int64_t at = e.sparse->nextStored(from);
            if (at < std::min(e.length, e.sparse->size())) return e.start + at;
        }
    }
    return diskSize_;
}

bool FileReadSeekVmdk::seek(std::int64_t position, std::int32_t origin) {
    if (!readWriteInterface::seek(position, origin)) return false;
    sectorAllocated = isUnallocated(position_, kSectorSize) ? 0 : 1;
    return true;
}

ImageInfo FileReadSeekVmdk::describe() const {
    ImageInfo info;
    info.format = "vmdk";
    const std::string& version = descriptor_.version;
    if (!version.empty() && version.find_first_not_of("0123456789") == std::string::npos && version.size() < 10) {
        info.version = InfoValue::of(std::stoll(version));
    } else if (!version.empty()) {
        info.version = InfoValue::of(version);
    } else if (sparseVersion_ != 0) {
        info.version = InfoValue::of(std::int64_t{sparseVersion_});
    }
    info.diskSize = diskSize_;
    info.sectors = totalSectors();
    info.statedSize = static_cast<std::uint64_t>(diskSize_);
    const auto c = descriptor_.ddbNumber("ddb.geometry.cylinders");
    const auto h = descriptor_.ddbNumber("ddb.geometry.heads");
    const auto s = descriptor_.ddbNumber("ddb.geometry.sectors");
    if (c && h && s) info.geometry = DiskGeometry{*c, *h, *s};
    info.fields.push_back({"create_type", "Create type", InfoValue::of(descriptor_.createType)});
    info.fields.push_back({"extents", "Extents", InfoValue::of(static_cast<std::int64_t>(extents_.size()))});
    for (const Extent& e : extents_) {
        if (!e.sparse) continue;
        info.fields.push_back({"grain_size", "Grain size", InfoValue::of(e.sparse->grainBytes())});
        if (e.sparse->header().compressed())
            info.fields.push_back({"compressed", "Compressed grains", InfoValue::of(std::string("yes"))});
        break;
    }
    if (!descriptor_.parentFileNameHint.empty())
        info.fields.push_back({"parent", "Parent image", InfoValue::of(descriptor_.parentFileNameHint)});
    return info;
}

}  // namespace tavrel
