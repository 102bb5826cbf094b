#include "image/VmdkSparseExtent.h"

#include <algorithm>
#include <cstring>

#include "image/ImageTable.h"
#include "image/Inflate.h"

namespace tavrel {

namespace {
// A compressed grain never needs much more room than the grain itself.
std::uint64_t maxCompressedBytes(std::int64_t grainBytes) {
    return static_cast<std::uint64_t>(grainBytes) + static_cast<std::uint64_t>(grainBytes) / 8 + 1024;
}
}  // namespace

std::unique_ptr<VmdkSparseExtent> VmdkSparseExtent::open(ImagePart file, std::uint64_t tableAllowance,
                                                         FormatProblem* problem) {
    std::unique_ptr<VmdkSparseExtent> e(new VmdkSparseExtent());
    e->file_ = std::move(file);
    e->fileLength_ = e->file_.length();
    const auto fail = [problem](FormatProblem why) {
        if (problem) *problem = why;
        return std::unique_ptr<VmdkSparseExtent>();
    };
    const auto damaged = [&fail](std::int64_t at, const char* what) {
        return fail({OpenResult::Damaged, at, what});
    };
    const auto unreadable = [&fail](std::int64_t at, const char* what) {
        return fail({OpenResult::Unreadable, at, what});
    };
    std::array<std::uint8_t, kVmdkHeaderSize> raw{};
    std::size_t got = 0;
    if (!e->file_.readAt(0, raw, &got)) return unreadable(0, "header unreadable");
    if (got < raw.size()) return damaged(static_cast<std::int64_t>(got), "header cut short");
    e->header_ = *decodeVmdkSparseHeader(raw);
    if (auto why = vmdkHeaderProblem(e->header_, e->fileLength_)) return fail(*why);
    // Stream-optimized images may leave the directory's place to a copy of the
    // header near the end of the file: footer marker, footer, end-of-stream marker.
    if (vmdkDirectorySector(e->header_) == kVmdkDirectoryAtEnd) {
        if (e->fileLength_ < 3 * 512) return damaged(e->fileLength_, "no footer");
        const std::int64_t footerAt = e->fileLength_ - 1024;
        if (!e->file_.readAt(footerAt, raw, &got) || got < raw.size()) return unreadable(footerAt, "footer unreadable");
        const auto footer = decodeVmdkSparseHeader(raw);
        if (auto why = vmdkHeaderProblem(*footer, e->fileLength_)) {
            why->offset += footerAt;
            return fail(*why);
        }
        if (vmdkDirectorySector(*footer) == kVmdkDirectoryAtEnd) return damaged(footerAt + 0x38, "footer without a grain directory");
        e->header_ = *footer;
    }
    // vmdkHeaderProblem has checked that the directory lies inside the file; it
    // is read only when the file really stores it (not from a sparse host file's
    // holes).
    const std::uint64_t entries = vmdkDirectoryEntries(e->header_);
    const auto host = e->file_.file();
    if (!host) return unreadable(-1, "extent file unreadable");
    const auto directoryAt = static_cast<std::int64_t>(vmdkDirectorySector(e->header_) * 512);
    if (entries * 4 > tableAllowance) return damaged(0x0C, "grain directory larger than the file stores");
    if (!readTable32(*host, directoryAt, entries, e->directory_))
        return unreadable(directoryAt, "grain directory unreadable");
    e->grainBytes_ = static_cast<std::int64_t>(e->header_.grainSize) * 512;
    return e;
}

std::int64_t VmdkSparseExtent::storedBytes() const {
    if (!header_.compressed()) return fileLength_;
    const std::int64_t grains = fileLength_ / 512;
    return grains > size() / grainBytes_ ? size() : grains * grainBytes_;
}

std::string VmdkSparseExtent::embeddedDescriptor() const {
    const std::uint64_t at = header_.descriptorOffset;
    const std::uint64_t sectors = header_.descriptorSize;
    const auto length = static_cast<std::uint64_t>(fileLength_);
    if (at == 0 || sectors == 0 || sectors > static_cast<std::uint64_t>(kVmdkMaxDescriptorBytes) / 512 ||
        at > length / 512 || length - at * 512 < sectors * 512)
        return {};
    std::string text(static_cast<std::size_t>(sectors * 512), '\0');
    if (!file_.readAt(static_cast<std::int64_t>(at * 512),
                      MutableByteSpan(reinterpret_cast<std::uint8_t*>(text.data()), text.size())))
        return {};
    text.resize(std::min(text.size(), text.find('\0')));
    return text;
}

std::optional<std::uint32_t> VmdkSparseExtent::grainEntry(std::uint64_t grain) const {
    const std::uint64_t perTable = header_.tableEntries;
    const std::uint64_t index = grain / perTable;
    if (index >= directory_.size()) return kVmdkGrainAbsent;
    const std::uint32_t tableSector = directory_[static_cast<std::size_t>(index)];
    if (tableSector == 0) return kVmdkGrainAbsent;
    // The table must lie inside the file; a directory entry pointing elsewhere
    // makes that table's grains unreadable, not the whole image.
    const std::uint64_t at = std::uint64_t{tableSector} * 512;
    if (at > static_cast<std::uint64_t>(fileLength_) || static_cast<std::uint64_t>(fileLength_) - at < perTable * 4)
        return std::nullopt;
    if (cacheSlots_ == 0) {
        // No table cached: the one entry is read.
        std::array<std::uint8_t, 4> entry{};
        std::size_t got = 0;
        if (!file_.readAt(static_cast<std::int64_t>(at + grain % perTable * 4), entry, &got) || got != entry.size())
            return std::nullopt;
        return le32(entry, 0);
    }
    std::lock_guard lock(mutex_);
    TableSlot& slot = tables_[index % cacheSlots_];
    if (slot.index != index) {
        std::vector<std::uint8_t> raw(static_cast<std::size_t>(perTable * 4));
        if (!file_.readAt(static_cast<std::int64_t>(at), raw)) return std::nullopt;
        slot.entries.resize(static_cast<std::size_t>(perTable));
        for (std::size_t i = 0; i < slot.entries.size(); ++i) slot.entries[i] = le32(raw, i * 4);
        slot.index = index;
    }
    return slot.entries[static_cast<std::size_t>(grain % perTable)];
}

bool VmdkSparseExtent::inflateGrain(std::uint32_t entry, MutableByteSpan out) const {
    const std::int64_t at = std::int64_t{entry} * 512;
    std::array<std::uint8_t, kVmdkGrainMarkerSize> marker{};
    std::size_t got = 0;
    if (!file_.readAt(at, marker, &got) || got < marker.size()) return false;
    const std::uint32_t size = le32(marker, 8);
    if (size == 0 || size > maxCompressedBytes(grainBytes_)) return false;
    // One buffer per thread for the compressed bytes, reused grain after grain.
    thread_local std::vector<std::uint8_t> packed;
    packed.resize(size);
    if (!file_.readAt(at + static_cast<std::int64_t>(kVmdkGrainMarkerSize), packed, &got) || got < size) return false;
    // A short grain (the disk's last) keeps zeros after its data.
    return inflateInto(DeflateWrapper::Zlib, packed, out);
}

bool VmdkSparseExtent::readCompressed(std::uint64_t grain, std::uint32_t entry, std::int64_t inGrain,
                                      MutableByteSpan out) const {
    // A whole grain is inflated straight into place, without the lock.
    if (inGrain == 0 && static_cast<std::int64_t>(out.size()) == grainBytes_) return inflateGrain(entry, out);
    std::lock_guard lock(mutex_);
    if (inflatedGrain_ != grain) {
        inflatedGrain_ = ~std::uint64_t{0};
        inflated_.resize(static_cast<std::size_t>(grainBytes_));
        if (!inflateGrain(entry, inflated_)) return false;
        inflatedGrain_ = grain;
    }
    std::memcpy(out.data(), inflated_.data() + inGrain, out.size());
    return true;
}

bool VmdkSparseExtent::read(std::int64_t offset, MutableByteSpan out) const {
    std::memset(out.data(), 0, out.size());
    if (offset < 0 || offset > size() || static_cast<std::uint64_t>(size() - offset) < out.size()) return false;
    bool ok = true;
    std::size_t done = 0;
    while (done < out.size()) {
        const std::int64_t pos = offset + static_cast<std::int64_t>(done);
        const auto grain = static_cast<std::uint64_t>(pos / grainBytes_);
        const std::int64_t inGrain = pos % grainBytes_;
        std::size_t chunk = static_cast<std::size_t>(
            std::min<std::int64_t>(grainBytes_ - inGrain, static_cast<std::int64_t>(out.size() - done)));
        const auto entry = grainEntry(grain);
        if (!entry) {
            ok = false;
        } else if (*entry == kVmdkGrainAbsent || *entry == kVmdkGrainZero) {
            // Zeros already.
        } else if (header_.compressed()) {
            if (!readCompressed(grain, *entry, inGrain, out.subspan(done, chunk))) ok = false;
        } else {
            // Grains stored one after another in the file are read with one call.
            std::uint64_t next = grain + 1;
            while (done + chunk < out.size()) {
                const auto e = grainEntry(next);
                if (!e || std::uint64_t{*e} != std::uint64_t{*entry} + (next - grain) * header_.grainSize) break;
                chunk += static_cast<std::size_t>(
                    std::min<std::int64_t>(grainBytes_, static_cast<std::int64_t>(out.size() - done - chunk)));
                ++next;
            }
            std::size_t got = 0;
            const std::int64_t at = std::int64_t{*entry} * 512 + inGrain;
            if (!file_.readAt(at, out.subspan(done, chunk), &got) || got < chunk) ok = false;
        }
        done += chunk;
    }
    return ok;
}

std::int64_t VmdkSparseExtent::nextStored(std::int64_t offset) const {
    if (offset < 0 || offset >= size()) return offset;
    const auto grains = static_cast<std::uint64_t>((size() + grainBytes_ - 1) / grainBytes_);
    const std::uint64_t perTable = header_.tableEntries;
    for (auto g = static_cast<std::uint64_t>(offset / grainBytes_); g < grains;) {
        const std::uint64_t index = g / perTable;
        if (index >= directory_.size() || directory_[static_cast<std::size_t>(index)] == 0) {
            g = (index + 1) * perTable;
            continue;
        }
        const auto entry = grainEntry(g);
        if (!entry || (*entry != kVmdkGrainAbsent && *entry != kVmdkGrainZero))
            return std::max(offset, static_cast<std::int64_t>(g) * grainBytes_);
        ++g;
    }
    return size();
}

bool VmdkSparseExtent::isUnallocated(std::int64_t offset, std::int64_t length) const {
    if (offset < 0 || length <= 0 || offset > size() || size() - offset < length) return false;
    const auto first = static_cast<std::uint64_t>(offset / grainBytes_);
    const auto last = static_cast<std::uint64_t>((offset + length - 1) / grainBytes_);
    const std::uint64_t perTable = header_.tableEntries;
    for (std::uint64_t g = first; g <= last;) {
        const std::uint64_t index = g / perTable;
        // A whole table without data is passed over at once.
        if (index >= directory_.size() || directory_[static_cast<std::size_t>(index)] == 0) {
            g = (index + 1) * perTable;
            continue;
        }
        const auto entry = grainEntry(g);
        if (!entry || (*entry != kVmdkGrainAbsent && *entry != kVmdkGrainZero)) return false;
        ++g;
    }
    return true;
}

}  // namespace tavrel
