// Advanced mode of the NTFS parser: hunting the volume for MFT copies and
// parsing from the one the user chose.
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
    entries_.clear();
    mftLocated_ = true;
    runsFromEntry0_ = false;
    return true;
}

bool ntfs::useCandidate(std::size_t index, const CandidateChoice& choice) {
    return useMftCandidate(index, choice.sectorsPerCluster > 0 ? std::int64_t{choice.sectorsPerCluster} * 512 : 0);
}

// The usual six, and 128 for volumes of 64 KiB clusters.
std::vector<std::string> ntfs::clusterItems() const { return {"8", "4", "2", "16", "32", "64", "128"}; }

const char* ntfs::foundMessagePattern() const {
    return "Number of MFT-ENTRY found = %d . Please select the choice from combo box and click Parse button to "
           "proceed.";
}

}  // namespace tavrel::fs
