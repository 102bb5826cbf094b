// Advanced mode of the NTFS parser: hunting the volume for MFT copies and
// parsing from the one the user chose.
#include <algorithm>

#include "fs/ntfs/ntfs.h"

namespace tavrel::fs {

std::size_t ntfs::huntMftCopies(WorkControl& work, int maximum) {
    MftHuntLimits limits;
    limits.maximum = maximum;
    limits.chunkSize = kChunkSize;
    const auto found = fs::huntMftCopies(
        volume_, [this](std::int64_t offset, std::int64_t length) { return stored(offset, length); }, limits, work,
        warnings_);
    mftCandidates_.clear();
    for (const MftCopy& m : found) mftCandidates_.push_back({m.offset, m.clusterSize, m.recordSize});
    return mftCandidates_.size();
}

// The candidate's record is read again and its $DATA runs become the MFT's.
// The cluster size is the chosen one, or the one the record's own place shows.
bool ntfs::useMftCandidate(std::size_t index, std::int64_t clusterSize) {
    mftLocated_ = false;
    if (index >= mftCandidates_.size()) return false;
    const HuntCandidate& copy = mftCandidates_[index];
    if (copy.unitSize < 512 || copy.unitSize > 65536) return false;
    const auto record = loader_.load(copy.offset, copy.unitSize);
    if (!record || !adoptMftRecord(*record)) return false;
    clusterSize_ = clusterSize > 0 ? clusterSize : copy.clusterSize > 0 ? copy.clusterSize : 4096;
    recordSize_ = copy.unitSize;
    // With a cluster size that does not fit, the MFT's runs lead elsewhere and
    // the tree comes out as orphans: the scan says so.
    scanWarning_ = mftRunsFit(clusterSize_, copy.offset) ? "" : kClusterMismatchText;
    entries_.clear();
    mftLocated_ = true;
    runsFromEntry0_ = false;
    return true;
}

bool ntfs::useCandidate(std::size_t index, const CandidateChoice& choice) {
    return useMftCandidate(index, choice.sectorsPerCluster > 0 ? std::int64_t{choice.sectorsPerCluster} * 512 : 0);
}

// True when the $MFT record's own runs (just adopted) fit a cluster size:
// record 0 lies at the first cluster of the first run, every run lies within
// the volume, and the clusters hold the $MFT's data size.
bool ntfs::mftRunsFit(std::int64_t clusterSize, std::int64_t recordOffset) const {
    if (mftRuns_.empty() || clusterSize <= 0) return false;
    std::int64_t first = 0;
    if (__builtin_mul_overflow(mftRuns_.front().lcn, clusterSize, &first) || first != recordOffset) return false;
    std::int64_t clusters = 0;
    for (const MftRun& r : mftRuns_) {
        std::int64_t end = 0;
        const auto length = static_cast<std::int64_t>(r.length);
        if (length <= 0 || __builtin_add_overflow(clusters, length, &clusters)) return false;
        if (r.sparse) continue;
        if (__builtin_add_overflow(r.lcn, length, &end) || __builtin_mul_overflow(end, clusterSize, &end) ||
            end > volume_.size())
            return false;
    }
    std::int64_t allocated = 0;
    return !__builtin_mul_overflow(clusters, clusterSize, &allocated) && mftDataSize_ <= static_cast<std::uint64_t>(allocated);
}

// The usual six; before them the sizes the hunt learnt that are not among
// them (1 or 128 sectors), in candidate order.
std::vector<std::string> ntfs::clusterItems() const {
    const std::vector<std::string> usual = {"8", "4", "2", "16", "32", "64"};
    std::vector<std::string> items;
    for (const HuntCandidate& c : mftCandidates_) {
        if (c.clusterSize < 512) continue;
        const std::string learnt = std::to_string(c.clusterSize / 512);
        if (std::find(usual.begin(), usual.end(), learnt) == usual.end() &&
            std::find(items.begin(), items.end(), learnt) == items.end())
            items.push_back(learnt);
    }
    items.insert(items.end(), usual.begin(), usual.end());
    return items;
}

std::string ntfs::preselectedClusterItem() const {
    if (mftCandidates_.empty() || mftCandidates_.front().clusterSize < 512) return {};
    return std::to_string(mftCandidates_.front().clusterSize / 512);
}

const char* ntfs::foundMessagePattern() const {
    return "Number of MFT-ENTRY found = %d . Please select the choice from combo box and click Parse button to "
           "proceed.";
}

}  // namespace tavrel::fs
