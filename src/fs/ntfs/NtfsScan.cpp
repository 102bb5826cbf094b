// Finding the MFT and its records: boot sector, the hunt for the $MFT record
// when the boot sector is damaged, the Deep-mode record scan, and the slot
// enumeration along the MFT's runs.
#include <algorithm>
#include <cstdio>

#include "fs/ntfs/RunList.h"
#include "fs/ntfs/ntfs.h"

namespace tavrel::fs {

namespace {
std::string format(const char* pattern, long long value) {
    char buf[96];
    std::snprintf(buf, sizeof buf, pattern, value);
    return buf;
}

bool startsWithFile(ByteSpan unit) { return le32(unit, 0) == kFileTag; }
}  // namespace

ntfs::ntfs(const VolumeView& volume, const ScanOptions& options)
    : volume_(volume), options_(options), loader_(volume_, warnings_), scanMode_(static_cast<int>(options.mode)) {}

void ntfs::useMftRuns(std::vector<MftRun> runs, std::int64_t clusterSize) {
    mftRuns_ = std::move(runs);
    if (clusterSize > 0) clusterSize_ = clusterSize;
    mftLocated_ = !mftRuns_.empty();
    runsFromEntry0_ = !mftLocated_;
}

ScanOutcome ntfs::scan(WorkControl& work) {
    message_.clear();
    forgetAllocationMap();
    readVolumeSize();
    if (scanMode_ == 3) {
        work.status(" scanning for mft entries in deep mode ....");
        deepScan(work);
    } else if (!mftLocated_) {
        // Advanced mode arrives here with the runs of a chosen $MFT copy already
        // installed (useMftRuns); otherwise the boot sector leads the way.
        work.status(" ParsingBasedOnMFT is going on....");
        locateMft(work);
    }
    enumerateMft(work);
    buildTree(work);
    return outcome(work);
}

// The tree is built in every case (at least "ORPHAN_ENTRY"); the outcome says
// whether it stands for an NTFS volume.
ScanOutcome ntfs::outcome(const WorkControl& work) const {
    if (work.stopRequested()) return ScanOutcome::stopped();
    const bool found = scanMode_ == 3 || recordHunt_ ? entries_.size() > 1 : mftLocated_;
    if (found) return ScanOutcome::done();
    if (!bootRead_) return ScanOutcome::fail(ScanResult::ReadError, 0, "The volume's boot sector could not be read");
    if (!boot_.isNtfs) return ScanOutcome::fail(ScanResult::NotThisKind, 0, "No NTFS boot sector and no MFT found");
    std::int64_t at = -1;
    if (boot_.clusterSize > 0 && __builtin_mul_overflow(boot_.mftCluster, boot_.clusterSize, &at)) at = -1;
    return ScanOutcome::fail(ScanResult::Damaged, at, "The MFT could not be located");
}

bool ntfs::readVolumeSize() {
    bootSector_.assign(512, 0);
    bootRead_ = volume_.readAt(0, bootSector_);
    if (!bootRead_) warnings_.unreadable(0);
    boot_ = decodeBootSector(bootSector_);
    if (boot_.isNtfs && boot_.volumeSize > 0) {
        volumeSize_ = boot_.volumeSize;
        if (!mftLocated_) recordSize_ = boot_.recordSize;  // a chosen MFT copy keeps its own
    } else {
        // No usable boot sector: the volume's extent from the partition table.
        volumeSize_ = volume_.size();
    }
    return volumeSize_ != 0;
}

std::int64_t ntfs::storedBytes() const {
    const readWriteInterface& reader = volume_.reader();
    return reader.fileLength > 0 ? reader.fileLength : reader.diskSize();
}

bool ntfs::stored(std::int64_t offset, std::int64_t length) const {
    return !volume_.reader().isUnallocated(volume_.baseOffset() + offset, length);
}

std::uint32_t ntfs::recordSizeAt(ByteSpan unit) const {
    // A record names its own allocated size; trust it when the update-sequence
    // count agrees (one entry per 512 bytes, plus the sequence number).
    const RecordHeader h = decodeRecordHeader(unit);
    if (isPowerOfTwoIn(h.bytesAllocated, 512, 65536) && h.usaCount == h.bytesAllocated / 512 + 1)
        return h.bytesAllocated;
    return recordSize_;
}

// Takes the record as the $MFT when its name is "$MFT" and its $DATA decodes to
// at least one run. The cluster size is checked against the record's own place:
// record 0 sits at the first cluster of the first run.
bool ntfs::adoptMftRecord(const LoadedRecord& record) {
    bool named = false;
    std::vector<MftRun> runs;
    std::uint64_t dataSize = 0;
    for (const auto& a : record.attributes) {
        if (a.type == kAttrFileName && !a.nonResident) {
            const auto fn = decodeFileName(record.value(a));
            if (fn && fn->name == "$MFT") named = true;
        } else if (a.type == kAttrData && a.nonResident && a.nameLength == 0 && a.lastVcn >= a.firstVcn) {
            if (a.firstVcn == 0) dataSize = a.realSize;
            auto decoded = decodeRunList(record.runList(a), a.lastVcn - a.firstVcn + 1);
            runs.insert(runs.end(), decoded.runs.begin(), decoded.runs.end());
            if (decoded.terminated) break;
        }
    }
    if (!named || runs.empty() || runs.front().sparse || runs.front().lcn <= 0) return false;
    if (!boot_.isNtfs || boot_.clusterSize == 0) {
        for (std::int64_t size = 512; size <= 65536; size *= 2) {
            if (runs.front().lcn * size == record.offset) {
                clusterSize_ = size;
                break;
            }
        }
    }
    mftRuns_ = std::move(runs);
    mftDataSize_ = dataSize;
    mftRecordOffset_ = record.offset;
    return true;
}

bool ntfs::locateMft(WorkControl& work) {
    clusterSize_ = boot_.clusterSize > 0 ? boot_.clusterSize : 4096;
    if (boot_.isNtfs && boot_.clusterSize > 0) {
        work.status("boot sector is fine.Getting run of mft entry...");
        // The $MFT record, or failing that its copy in $MFTMirr.
        for (const std::int64_t cluster : {boot_.mftCluster, boot_.mftMirrorCluster}) {
            std::int64_t offset = 0;
            if (cluster <= 0 || __builtin_mul_overflow(cluster, clusterSize_, &offset)) continue;
            const auto record = loadRecord(offset);
            if (record && adoptMftRecord(*record)) {
                work.status("Got run...");
                mftLocated_ = true;
                runsFromEntry0_ = false;
                return true;
            }
        }
        // The boot sector points at no $MFT record: hunt for it as for a damaged
        // boot sector, with the boot sector's cluster size.
    } else {
        clusterSize_ = 4096;
    }
    work.status("boot sector corrupt.Scanning for first mft entry...");
    mftLocated_ = false;
    return huntFirstMft(work);
}

bool ntfs::huntFirstMft(WorkControl& work) {
    const std::int64_t limit = std::min(volumeSize_, volume_.size());
    if (limit <= 0) return false;
    work.range(0, limit / kChunkSize);
    std::vector<std::uint8_t> chunk;  // grows to the largest stored part of a chunk
    // Chunks the image does not store are passed over without a look, and of
    // the others only the part up to their last stored byte is read.
    std::int64_t shown = -1;
    for (std::int64_t start = volume_.storedChunkFrom(0, kChunkSize); start < limit && !mftLocated_;
         start = volume_.storedChunkFrom(start + kChunkSize, kChunkSize)) {
        if (!work.checkpoint()) break;
        if (const std::int64_t c = start / kChunkSize; c / 100 != shown) {
            shown = c / 100;
            work.position(c);
        }
        const auto length = static_cast<std::size_t>(
            volume_.storedPrefix(start, std::min<std::int64_t>(kChunkSize, limit - start)));
        if (length == 0) continue;  // the image holds only zeros here
        if (chunk.size() < length) chunk.resize(length);
        const MutableByteSpan span(chunk.data(), length);
        // An unreadable chunk reads as zeros and the scan moves on.
        if (!volume_.readAt(start, span)) warnings_.unreadable(start);
        std::size_t pos = 0;
        while (pos + 512 <= length) {
            const ByteSpan unit = ByteSpan(span).subspan(pos, 512);
            if (!startsWithFile(unit)) {
                pos += 512;
                continue;
            }
            const std::uint32_t size = recordSizeAt(unit);
            const std::int64_t offset = start + static_cast<std::int64_t>(pos);
            addFoundRecord(offset, size, span, pos);
            if (stopAtFirstMft_ && entries_.back().name == "$MFT") {
                work.status("found mft entry.getting its run ...");
                const auto record = loader_.load(offset, size);
                const bool found = record && adoptMftRecord(*record);
                work.status("got run ...");
                if (found) {
                    recordSize_ = size;
                    mftLocated_ = true;
                    runsFromEntry0_ = false;
                    entries_.clear();
                    return true;
                }
            }
            pos += std::max<std::size_t>(size, 1024);
        }
    }
    return false;
}

void ntfs::deepScan(WorkControl& work) {
    clusterSize_ = boot_.clusterSize > 0 ? boot_.clusterSize : 4096;
    mftLocated_ = false;
    const std::int64_t limit = std::min(volumeSize_, volume_.size());
    if (limit <= 0) return;
    const std::int64_t chunks = (limit + kChunkSize - 1) / kChunkSize;
    work.range(0, limit / kChunkSize);
    std::vector<std::uint8_t> chunk;  // grows to the largest stored part of a chunk
    for (std::int64_t start = volume_.storedChunkFrom(0, kChunkSize); start < limit;
         start = volume_.storedChunkFrom(start + kChunkSize, kChunkSize)) {
        if (!work.checkpoint()) break;
        work.position(start / kChunkSize);
        const auto length = static_cast<std::size_t>(
            volume_.storedPrefix(start, std::min<std::int64_t>(kChunkSize, limit - start)));
        if (length == 0) continue;
        if (chunk.size() < length) chunk.resize(length);
        const MutableByteSpan span(chunk.data(), length);
        if (!volume_.readAt(start, span)) warnings_.unreadable(start);
        std::size_t pos = 0;
        while (pos + 512 <= length && !work.stopRequested()) {
            const ByteSpan unit = ByteSpan(span).subspan(pos, 512);
            const RecordHeader h = decodeRecordHeader(unit);
            if (h.tag != kFileTag || h.usaOffset >= 512 || h.usaCount >= 512 || h.firstAttribute >= 512) {
                pos += 512;
                continue;
            }
            const std::uint32_t size = recordSizeAt(unit);
            const std::int64_t offset = start + static_cast<std::int64_t>(pos);
            const auto number = addFoundRecord(offset, size, span, pos, true);
            if (number && foundRecords_.size() < static_cast<std::size_t>(limit / 512))
                foundRecords_.emplace(*number, offset);
            if (entries_.back().hasName) {
                entries_.back().orphan = true;
                if (entries_.size() % 1000 == 1)
                    work.status(format("MFT ENTRY %lld Found.Parsing it ..", static_cast<long long>(entries_.size())));
            } else if (tornFound_.empty() || tornFound_.back() != offset) {
                entries_.pop_back();  // a torn record's name may be in its other piece: kept until that is known
            }
            pos += std::max<std::size_t>(size, 1024);
        }
    }
    work.position(chunks);
    rereadSplitRecords();
    adoptDeepExtensions();
    keepOneCopyPerRecord();
}

// A name found in an extension record belongs to the base record, which holds
// the header, the $DATA or the attribute list: the entry is moved onto the base
// record when it was found, and dropped when it was not (it has no content).
void ntfs::adoptDeepExtensions() {
    std::vector<NtfsEntry> kept;
    kept.reserve(entries_.size());
    for (NtfsEntry& e : entries_) {
        if (e.baseRecord != 0) {
            const auto base = foundRecords_.find(e.baseRecord);
            if (base == foundRecords_.end()) continue;
            const auto record = loadRecord(base->second);
            if (!record) continue;
            NtfsEntry b;
            readEntryFields(*record, b);
            b.recordOffset = base->second;
            b.recordNumber = e.baseRecord;
            b.numbered = true;
            b.baseRecord = 0;
            b.name = std::move(e.name);
            b.hasName = e.hasName;
            b.parentRecord = e.parentRecord;
            b.parentSequence = e.parentSequence;
            b.allocatedSize = e.allocatedSize;
            b.orphan = e.orphan;
            if (e.kind == 'D') b.kind = 'D';
            if (b.nameAttributes == 0) b.nameAttributes = e.nameAttributes;
            e = std::move(b);
        }
        kept.push_back(std::move(e));
    }
    entries_ = std::move(kept);
}

void ntfs::enumerateMft(WorkControl& work) {
    if (!mftLocated_ || work.stopRequested()) return;
    if (clusterSize_ <= 0) clusterSize_ = 4096;
    if (runsFromEntry0_ && !entries_.empty()) {
        work.status("getting run of mft...");
        mftRuns_ = readRuns(entries_[0].recordOffset, kAttrData);
        work.status("got run...");
    }
    entries_.clear();
    for (const MftRun& run : mftRuns_) {
        work.status(format("parsing %lld cluster of MFT run.", static_cast<long long>(static_cast<std::int32_t>(run.lcn))));
        if (!work.checkpoint()) return;
    }
    layoutMft();
    // Runs that lead to no record: those of the $MFT record's copy in $MFTMirr,
    // and failing those a hunt for records by the numbers they carry.
    if (!layoutLeadsToRecords()) {
        warnings_.damaged(mftRecordOffset_);
        if (adoptMirrorRuns()) layoutMft();
    }
    if (!layoutLeadsToRecords()) {
        recordHunt_ = true;
        deepScan(work);
        return;
    }
    entries_.resize(static_cast<std::size_t>(layout_.size()));
    for (const MftSegment& s : layout_.segments()) {
        for (std::uint64_t k = 0; k < s.count; ++k) {
            NtfsEntry& e = entries_[static_cast<std::size_t>(s.firstSlot + k)];
            e.recordNumber = s.firstRecord + k;
            e.recordOffset = s.offset + static_cast<std::int64_t>(k * recordSize_);
        }
    }
}

// The MFT is a byte stream along its runs; record i starts at byte i x record
// size of that stream. The table holds no more records than the $MFT's real
// size, the volume and the image's own bytes can back.
void ntfs::layoutMft() {
    layout_ = buildLayout(mftRuns_);
    if (layout_.cut()) warnings_.damaged(mftRecordOffset_);
}

MftLayout ntfs::buildLayout(const std::vector<MftRun>& runs) const {
    MftLimits limits;
    limits.volumeSize = std::max<std::int64_t>(std::min(volumeSize_, volume_.size()), 0);
    limits.maxRecords = static_cast<std::uint64_t>(limits.volumeSize) / recordSize_;
    if (mftDataSize_ > 0) limits.maxRecords = std::min(limits.maxRecords, (mftDataSize_ + recordSize_ - 1) / recordSize_);
    limits.maxSlots = std::min<std::uint64_t>(static_cast<std::uint64_t>(std::max<std::int64_t>(storedBytes(), 0)) / recordSize_,
                                              EntryTable::kNone - 2);
    return MftLayout::build(runs, clusterSize_, recordSize_, limits,
                            [this](std::int64_t offset, std::int64_t length) { return stored(offset, length); });
}

// True when one of the first slots (records 0 to 3 are on every volume) holds a
// record.
bool ntfs::layoutLeadsToRecords() const {
    std::vector<std::uint8_t> bytes(recordSize_);
    for (std::uint64_t slot = 0; slot < std::min<std::uint64_t>(layout_.size(), 4); ++slot) {
        std::int64_t offset = -1;
        for (const MftSegment& s : layout_.segments())
            if (slot >= s.firstSlot && slot - s.firstSlot < s.count)
                offset = s.offset + static_cast<std::int64_t>((slot - s.firstSlot) * recordSize_);
        if (offset >= 0 && volume_.readAt(offset, bytes) && recordKindOf(bytes) == RecordKind::Record) return true;
    }
    return false;
}

// Takes the runs of the $MFT record's copy in $MFTMirr, when the boot sector
// names a mirror other than the record already used.
bool ntfs::adoptMirrorRuns() {
    std::int64_t offset = 0;
    if (!boot_.isNtfs || boot_.mftMirrorCluster <= 0 ||
        __builtin_mul_overflow(boot_.mftMirrorCluster, clusterSize_, &offset) || offset == mftRecordOffset_)
        return false;
    const auto record = loadRecord(offset);
    return record && adoptMftRecord(*record);
}

// Parses the record a hunt found at offset (from the chunk when it lies inside,
// else read anew) into a new entry at the end of the table. Returns the record
// number the record carries, when its header holds one.
std::optional<std::uint32_t> ntfs::addFoundRecord(std::int64_t offset, std::uint32_t size, ByteSpan chunk,
                                                  std::size_t pos, bool deferTorn) {
    std::optional<LoadedRecord> record;
    if (!fits(chunk.size(), pos, size)) {
        record = loader_.load(offset, size);
    } else if (deferTorn) {
        // A torn record may be one the $MFT's runs split, which only those runs
        // can tell once they are found.
        const ByteSpan bytes = chunk.subspan(pos, size);
        record = decodeRecord(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), offset);
        if (record && record->tornFixup) tornFound_.push_back(offset);
        else if (record && record->damaged()) warnings_.damaged(offset);
    } else {
        record = loader_.fromBytes(offset, chunk.subspan(pos, size));
    }
    NtfsEntry e;
    e.tag = kFileTag;
    e.recordOffset = offset;
    std::optional<std::uint32_t> number;
    if (record) {
        readEntryFields(*record, e);
        number = record->header.recordNumber;
        e.recordNumber = number.value_or(0);
        e.numbered = number.has_value();
    }
    entries_.push_back(std::move(e));
    return number;
}

}  // namespace tavrel::fs
