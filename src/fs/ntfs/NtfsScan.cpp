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
    : volume_(volume), options_(options), scanMode_(static_cast<int>(options.mode)) {}

void ntfs::useMftRuns(std::vector<MftRun> runs, std::int64_t clusterSize) {
    mftRuns_ = std::move(runs);
    if (clusterSize > 0) clusterSize_ = clusterSize;
    mftLocated_ = !mftRuns_.empty();
    runsFromEntry0_ = !mftLocated_;
}

ScanOutcome ntfs::scan(WorkControl& work) {
    message_.clear();
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
    return work.stopRequested() ? ScanOutcome::stopped() : ScanOutcome::done();
}

bool ntfs::readVolumeSize() {
    bootSector_.assign(512, 0);
    volume_.readAt(0, bootSector_);
    boot_ = decodeBootSector(bootSector_);
    if (boot_.isNtfs && boot_.volumeSize > 0) {
        volumeSize_ = boot_.volumeSize;
        recordSize_ = boot_.recordSize;
    } else {
        // No usable boot sector: the volume's extent from the partition table.
        volumeSize_ = volume_.size();
    }
    return volumeSize_ != 0;
}

bool ntfs::readRecord(std::int64_t offset, std::vector<std::uint8_t>& out) const {
    out.assign(recordSize_, 0);
    if (offset < 0) return false;
    return volume_.readAt(offset, out);
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
bool ntfs::adoptMftRecord(std::int64_t offset, const std::vector<std::uint8_t>& fixedRecord) {
    if (!startsWithFile(fixedRecord)) return false;
    const auto attributes = collectAttributes(fixedRecord);
    bool named = false;
    std::vector<MftRun> runs;
    for (const auto& a : attributes) {
        if (a.type == kAttrFileName && !a.nonResident) {
            const auto fn = decodeFileName(residentValue(fixedRecord, a));
            if (fn && fn->name == "$MFT") named = true;
        } else if (a.type == kAttrData && a.nonResident && a.nameLength == 0 && a.lastVcn >= a.firstVcn) {
            auto decoded = decodeRunList(runListBytes(fixedRecord, a), a.lastVcn - a.firstVcn + 1);
            runs.insert(runs.end(), decoded.runs.begin(), decoded.runs.end());
            if (decoded.terminated) break;
        }
    }
    if (!named || runs.empty() || runs.front().sparse || runs.front().lcn <= 0) return false;
    if (!boot_.isNtfs || boot_.clusterSize == 0) {
        for (std::int64_t size = 512; size <= 65536; size *= 2) {
            if (runs.front().lcn * size == offset) {
                clusterSize_ = size;
                break;
            }
        }
    }
    mftRuns_ = std::move(runs);
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
            std::vector<std::uint8_t> record;
            if (!readRecord(offset, record)) continue;
            applyFixup(record);
            if (adoptMftRecord(offset, record)) {
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
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min(kChunkSize, limit)));
    std::vector<std::uint8_t> record;
    std::int64_t c = 0;
    for (std::int64_t start = 0; start < limit && !mftLocated_; start += kChunkSize, ++c) {
        if (!work.checkpoint()) break;
        if (c % 100 == 0) work.position(c);
        const std::size_t length = static_cast<std::size_t>(std::min<std::int64_t>(kChunkSize, limit - start));
        const MutableByteSpan span(chunk.data(), length);
        volume_.readAt(start, span);  // an unreadable chunk reads as zeros and the scan moves on
        std::size_t pos = 0;
        while (pos + 512 <= length) {
            const ByteSpan unit = ByteSpan(span).subspan(pos, 512);
            if (!startsWithFile(unit)) {
                pos += 512;
                continue;
            }
            const std::uint32_t size = recordSizeAt(unit);
            const std::int64_t offset = start + static_cast<std::int64_t>(pos);
            addFoundRecord(offset, size, record);
            if (stopAtFirstMft_ && entries_.back().name == "$MFT") {
                work.status("found mft entry.getting its run ...");
                const bool found = adoptMftRecord(offset, record);
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
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min(kChunkSize, limit)));
    std::vector<std::uint8_t> record;
    std::int64_t c = 0;
    for (std::int64_t start = 0; start < limit; start += kChunkSize, ++c) {
        if (!work.checkpoint()) break;
        work.position(c);
        const std::size_t length = static_cast<std::size_t>(std::min<std::int64_t>(kChunkSize, limit - start));
        const MutableByteSpan span(chunk.data(), length);
        volume_.readAt(start, span);
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
            addFoundRecord(offset, size, record);
            if (h.usaOffset >= 0x30 && foundRecords_.size() < static_cast<std::size_t>(limit / 512))
                foundRecords_.emplace(le32(record, 44), offset);
            if (entries_.back().hasName) {
                entries_.back().orphan = true;
                if (entries_.size() % 1000 == 1)
                    work.status(format("MFT ENTRY %lld Found.Parsing it ..", static_cast<long long>(entries_.size())));
            } else {
                entries_.pop_back();
            }
            pos += std::max<std::size_t>(size, 1024);
        }
    }
    work.position(chunks);
    adoptDeepExtensions();
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
            std::vector<std::uint8_t> record;
            if (!readRecord(base->second, record) || le32(record, 0) != kFileTag) continue;
            applyFixup(record);
            const RecordHeader h = decodeRecordHeader(record);
            e.recordOffset = base->second;
            e.baseRecord = 0;
            e.recordFlags = h.flags;
            e.sequence = h.sequence;
            if (h.flags & 0x2) e.kind = 'D';
        }
        e.selfIndex = static_cast<std::int64_t>(kept.size());
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
    // The MFT is a byte stream along its runs; record i starts at byte
    // i x record size of that stream. A volume cannot hold more records than
    // fit in it, which bounds the table.
    const std::int64_t limit = std::max<std::int64_t>(std::min(volumeSize_, volume_.size()), 0);
    const std::uint64_t maxRecords = static_cast<std::uint64_t>(limit) / recordSize_;
    const std::uint64_t cs = static_cast<std::uint64_t>(clusterSize_);
    std::uint64_t streamPos = 0;  // stream byte where the current run starts
    std::uint64_t nextRecord = 0; // stream byte of the next record start
    for (const MftRun& run : mftRuns_) {
        work.status(format("parsing %lld cluster of MFT run.", static_cast<long long>(static_cast<std::int32_t>(run.lcn))));
        if (!work.checkpoint()) break;
        if (run.length > static_cast<std::uint64_t>(limit) / cs + 1) break;  // longer than the volume
        const std::uint64_t runBytes = run.length * cs;
        const std::uint64_t runEnd = streamPos + runBytes;
        while (nextRecord < runEnd && entries_.size() < maxRecords) {
            NtfsEntry e;
            e.selfIndex = static_cast<std::int64_t>(entries_.size());
            std::int64_t base = 0;
            if (run.sparse || __builtin_mul_overflow(run.lcn, clusterSize_, &base) || base < 0)
                e.recordOffset = -1;  // a hole in the MFT: the slot keeps its number but has no record
            else
                e.recordOffset = base + static_cast<std::int64_t>(nextRecord - streamPos);
            entries_.push_back(e);
            nextRecord += recordSize_;
        }
        streamPos = runEnd;
        if (entries_.size() >= maxRecords) break;
    }
}

// Reads the record a hunt found at offset, applies its fixup, and parses it into a
// new entry at the end of the table.
void ntfs::addFoundRecord(std::int64_t offset, std::uint32_t size, std::vector<std::uint8_t>& record) {
    record.assign(size, 0);
    volume_.readAt(offset, record);
    applyFixup(record);
    NtfsEntry e;
    e.tag = kFileTag;
    e.recordOffset = offset;
    e.selfIndex = static_cast<std::int64_t>(entries_.size());
    entries_.push_back(e);
    parseRecordBytes(record, entries_.size() - 1);
}

}  // namespace tavrel::fs
